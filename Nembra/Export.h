#pragma once

// NEMBRA_API marks what the library exports. The library is built with hidden default
// visibility, so only classes and functions carrying this macro are visible to hosts.
#if defined(NEMBRA_STATIC)
#define NEMBRA_API
#elif defined(_WIN32)
#if defined(NEMBRA_BUILDING)
#define NEMBRA_API __declspec(dllexport)
#else
#define NEMBRA_API __declspec(dllimport)
#endif
#else
#define NEMBRA_API __attribute__((visibility("default")))
#endif

// Placeholder until the diffusion solver lands.
#include "Nembra/DiffusionEquation.h"

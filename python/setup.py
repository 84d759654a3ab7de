"""Builds the extension nembra._nembra with CMake, as pybind11's CMake example does.

The library is compiled from its own CMake targets, with its own options; set NEMBRA_NATIVE=OFF
in the environment for the portable build, NEMBRA_BUILD_TYPE to change RelWithDebInfo (the library's own default), and
CMAKE_BUILD_PARALLEL_LEVEL for the number of compile jobs (2 by default) and
NEMBRA_PYTHON_BUILD_DIR for where CMake builds (setuptools' temporary directory by default).
"""

import os
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext


class CMakeExtension(Extension):
    def __init__(self, name, source_dir):
        super().__init__(name, sources=[])
        self.source_dir = str(Path(source_dir).resolve())


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        output_dir = Path(self.get_ext_fullpath(ext.name)).parent.resolve()
        build_dir = Path(os.environ.get("NEMBRA_PYTHON_BUILD_DIR", self.build_temp)).resolve()
        build_dir = build_dir / ext.name
        build_dir.mkdir(parents=True, exist_ok=True)
        native = os.environ.get("NEMBRA_NATIVE", "ON")
        configure = [
            "cmake", "-S", ext.source_dir, "-B", str(build_dir),
            f"-DCMAKE_BUILD_TYPE={os.environ.get('NEMBRA_BUILD_TYPE', 'RelWithDebInfo')}",
            f"-DCMAKE_LIBRARY_OUTPUT_DIRECTORY={output_dir}",
            f"-DPython_EXECUTABLE={sys.executable}",
            f"-DNEMBRA_NATIVE={native}",
        ]
        launcher = os.environ.get("CMAKE_CXX_COMPILER_LAUNCHER")
        if launcher:
            configure.append(f"-DCMAKE_CXX_COMPILER_LAUNCHER={launcher}")
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(build_dir), "--target", "_nembra", "-j", jobs],
                       check=True)


setup(
    ext_modules=[CMakeExtension("nembra._nembra", Path(__file__).parent)],
    cmdclass={"build_ext": CMakeBuild},
)

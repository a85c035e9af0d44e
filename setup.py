"""Builds the Python module lumora with CMake, for `pip install .`.

Only the module and liblumora.so are built (in build-python/, never in the
project's build/) and installed: the module into site-packages, the library
beside it in lumora.libs/, found through the module's RUNPATH ($ORIGIN), so
the installed module names no build path. Build without isolation, with
Debian's setuptools, CMake and pybind11 (scripts/bootstrap installs them):

    python3 -m venv --system-site-packages venv
    venv/bin/pip install --no-build-isolation .
"""
import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

TOP = Path(__file__).resolve().parent


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = TOP / "build-python"
        config = ["cmake", "-S", str(TOP), "-B", str(build), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                  "-DPython3_EXECUTABLE=" + sys.executable]
        if shutil.which("ccache"):
            config += ["-DCMAKE_C_COMPILER_LAUNCHER=ccache", "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"]
        subprocess.run(config, check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(["cmake", "--build", str(build), "--target", "pylumora", "-j", jobs], check=True)
        target = Path(self.get_ext_fullpath(ext.name)).parent
        subprocess.run(["cmake", "--install", str(build), "--component", "python", "--prefix", str(target)],
                       check=True)


setup(ext_modules=[Extension("lumora", sources=[])], cmdclass={"build_ext": CMakeBuild},
      options={"build": {"build_base": "build-python/setuptools"}})

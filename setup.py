"""Builds the compiled core of the Python package (velmar._velmar) with
CMake, from the same sources and with the same flags as the command line."""

import os
import pathlib
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        configure = [
            "cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release", "-DVELMAR_TESTS=OFF",
            "-DVELMAR_PYTHON=ON", f"-DPython3_EXECUTABLE={sys.executable}",
        ]
        subprocess.run(configure, check=True)
        jobs = str(os.cpu_count() or 2)
        subprocess.run(["cmake", "--build", str(build), "--target", "_velmar", "-j", jobs], check=True)
        built = next((build / "python" / "velmar").glob("_velmar*.so"))
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(ext_modules=[Extension("velmar._velmar", sources=[])], cmdclass={"build_ext": CMakeBuild})

"""pip's build of the package kavor: the compiled module comes from CMake.

Only the module's target and the libraries it needs are built, in
build-pip/ (Release); the package's Python files come from python/kavor.
"""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        generator = ["-G", "Ninja"] if shutil.which("ninja") else []
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), *generator,
                        "-DCMAKE_BUILD_TYPE=Release", "-DPython_EXECUTABLE=" + sys.executable,
                        "-DBUILD_TESTING=OFF", "-DKAVOR_BENCH=OFF"], check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "_kavor",
                        "-j", str(os.cpu_count() or 1)], check=True)
        built = next((build / "python" / "kavor").glob("_kavor*"))
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(built, target)


def version():
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(kavor VERSION ([0-9.]+)", text).group(1)


setup(
    version=version(),
    ext_modules=[Extension("kavor._kavor", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": "build-pip"}},
)

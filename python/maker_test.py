"""lumora.Maker writes what the C++ Maker writes for the same calls.

usage: maker_test.py MAKER_CALLS BIN_DIR MAKER_H  (PYTHONPATH holding lumora)
"""
import re
import os
import subprocess
import sys
import unittest

import lumora

MAKER_CALLS, BIN_DIR = sys.argv[1], sys.argv[2]
IMAGE = BIN_DIR + "/bumpmap_.png"
SCENE = BIN_DIR + "/Render/Tessel.pov"
UUID = re.compile(rb"[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}")


def scene_text():
    with open(SCENE, "rb") as f:
        # image copies get a fresh UUID name on every run
        return UUID.sub(b"UUID", f.read())


def python_calls(m, r, bad):
    """The calls of maker_calls.cpp, in its order; `bad` makes calls that
    must raise and must leave the scene as it was."""
    r.append(m.Init())
    r.append(m.CreateCamera("cam"))
    r.append(m.SetCameraLocation("cam", 0, -5, 1.5))
    r.append(m.SetCameraLookAt("cam", 0, 0, 0.5))
    r.append(m.SetCameraAngle("cam", 40))
    r.append(m.SetCameraType("cam", "perspective"))
    r.append(m.SetCameraType("cam", None))
    bad(TypeError, m.SetCameraType, "cam", 7)
    r.append(m.AddtoScene("cam"))
    r.append(m.CreatePointLight("lamp"))
    r.append(m.SetPointLightLocation("lamp", 3, -4, 6))
    r.append(m.SetPointLightRGB("lamp", 1, 0.9, 0.8))
    bad(TypeError, m.SetPointLightRGB, "lamp", "red", 0, 0)
    r.append(m.AddtoScene("lamp"))
    r.append(m.CreateSpotlight("spot"))
    r.append(m.SetSpotlightAreaLightAXIS1Size("spot", 3))
    bad(TypeError, m.SetSpotlightAreaLightAXIS1Size, "spot", 3.5)
    r.append(m.SetSpotlightAreaLightJitterOn("spot"))
    r.append(m.AddtoScene("spot"))
    r.append(m.CreateTextures("tex"))
    r.append(m.PigmentInTextureBegin("tex"))
    r.append(m.PigmentInTextureSetRGB("tex", 0.2, 0.4, 0.9, 0.1))
    r.append(m.PigmentInTextureEnd("tex"))
    r.append(m.FinishInTextureBegin("tex"))
    r.append(m.FinishInTextureSetPhong("tex", 0.6))
    r.append(m.FinishInTextureSetReflectionFresnel("tex", 1))
    r.append(m.FinishInTextureEnd("tex"))
    r.append(m.CreateTextures("wall"))
    r.append(m.PigmentInTextureBegin("wall"))
    bad(TypeError, m.PigmentInTextureSetImage, "wall", IMAGE, 0, None)
    r.append(m.PigmentInTextureSetImage("wall", IMAGE, 0, 0))
    r.append(m.PigmentInTextureEnd("wall"))
    r.append(m.SetTextureToObject("tex"))
    r.append(m.CreatePhotons("ph"))
    r.append(m.SetPhotonsReflection("ph", 1))
    r.append(m.SetPhotonsToObject("ph"))
    r.append(m.SetTranslate(1, 0.5, 0, 0))
    bad(TypeError, m.SetTranslate, 1.0, 7, 7, 7)
    bad(TypeError, m.SetTranslate, 2 ** 40, 7, 7, 7)
    r.append(m.SetTranslate(5, 9, 9, 9))
    r.append(m.SetRotate(2, 0, 0, 45))
    r.append(m.SetScale(3, 1, 2, 1))
    r.append(m.SetMatrixOnebyOne(3, 0, 0.25))
    r.append(m.SetMatrixOnebyOne(3, 3, 1))
    r.append(m.SetMatrixOnebyOne(4, 0, 1))
    r.append(m.CreateSphere("ball"))
    bad(TypeError, m.CreateSphere, 42)
    bad(ValueError, m.CreateSphere, "ba\0ll")
    r.append(m.SetSphereCenter("ball", 0, 0, 1))
    r.append(m.SetSphereRadius("ball", 1))
    bad(TypeError, m.SetSphereRadius, "ball", "2")
    r.append(m.SetSphereRadius("missing", 1))
    r.append(m.AddtoScene("ball"))
    r.append(m.CleanTransition())
    r.append(m.SetTextureToObject("wall"))
    r.append(m.CreateMesh("tri"))
    r.append(m.CreateTriangleInMesh("tri", 0))
    r.append(m.SetTriangleCornerInMesh("tri", 1, 0, 0, 0))
    r.append(m.SetTriangleCornerInMesh("tri", 2, 1, 0, 0))
    r.append(m.SetTriangleCornerInMesh("tri", 3, 0, 1, 0))
    r.append(m.SetTriangleUVInMesh("tri", 1, 0.5, 0.25))
    r.append(m.PushTriangleInMesh("tri"))
    r.append(m.SetTextureToMesh("tex", "tri"))
    r.append(m.AddtoScene("tri"))
    r.append(m.CreatePolygon("poly"))
    r.append(m.InsertPointToPolygon("poly", 0, 0))
    r.append(m.InsertPointToPolygon("poly", 1, 0))
    r.append(m.InsertPointToPolygon("poly", 0, 1))
    r.append(m.AddtoScene("poly"))
    r.append(m.CreateBox("box"))
    bad(TypeError, m.SetBoxCorner, "box", -1, -1, -1, 1, 1)
    r.append(m.SetBoxCorner("box", -1, -1, -1, 1, 1, 0))
    r.append(m.AddtoScene("box"))
    r.append(m.CreateSpheresweep("sw"))
    r.append(m.SetSpheresweepCenterAndRadius("sw", 0, 0, 0, 0.2))
    r.append(m.SetSpheresweepCenterAndRadius("sw", 1, 1, 1, 0.2))
    r.append(m.AddtoScene("sw"))
    bad(TypeError, m.GlobalSetGamma, None)
    r.append(m.GlobalSetPhotonsCount(20000))
    r.append(m.GlobalSetGamma(2.2))
    r.append(m.Finish())


class MakerTest(unittest.TestCase):
    def test_python_writes_what_cxx_writes(self):
        # A runtime preloaded into this interpreter (an instrumented build)
        # is not for the C++ program, which carries its own.
        env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
        cxx = subprocess.run([MAKER_CALLS, IMAGE], check=True, capture_output=True, text=True, env=env)
        cxx_answers = [int(line) for line in cxx.stdout.split()]
        cxx_scene = scene_text()

        raised = []

        def bad(error, method, *args):
            with self.assertRaises(error):
                method(*args)
            raised.append(method.__name__)

        answers = []
        python_calls(lumora.Maker(), answers, bad)
        self.assertEqual(len(raised), 11)
        self.assertEqual(answers, cxx_answers)
        self.assertIn(lumora.S_FALSE, answers)
        self.assertGreater(len(cxx_scene), 1000)
        self.assertEqual(scene_text(), cxx_scene)

    def test_every_method_in_header_order_with_its_comment(self):
        with open(sys.argv[3], encoding="utf-8") as f:
            header = f.read()
        body = header[header.index("class Maker {"):header.index(" private:")]
        declared = re.findall(r"HRESULT\s+(\w+)\s*\(", body)
        self.assertEqual(len(declared), 126)
        self.assertEqual(list(lumora.Maker.METHODS), declared)
        for name in declared:
            self.assertTrue(callable(getattr(lumora.Maker, name)), name)
            # A sentence of its own, not only the signature and the number.
            said = getattr(lumora.Maker, name).__doc__.split("\n\n")
            self.assertTrue(any(len(p) > 25 and not p.startswith(("(Maker method", name)) for p in said), name)
        self.assertIn("perspective", lumora.Maker.SetCameraType.__doc__)
        self.assertIn("Protocol. Call Init first", lumora.Maker.__doc__)
        self.assertEqual((lumora.S_OK, lumora.S_FALSE), (0, 1))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])

#!/usr/bin/env python3
"""The first demonstration scene (a glass sphere, a red metal cylinder, a
picture wall and a mirror floor, with photons), rendered on the farm.

    PYTHONPATH=build/python python3 examples/demo_scene1.py [OUT.png]

Needs a running farm (see README: scripts/demo starts a local one).
"""
import os
import sys

import lumora

out = sys.argv[1] if len(sys.argv) > 1 else "scene1.png"
bumpmap = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "demo", "bumpmap_.png")

m = lumora.Maker()

m.Init()
m.GlobalSetPhotonsSpacing(0.02)

m.CreateCamera("cam1")
m.SetCameraType("cam1", "perspective")
m.SetCameraLocation("cam1", 0, -8, 3.6)
m.SetCameraLookAt("cam1", 0, 0, 0.75)
m.AddtoScene("cam1")

m.CreatePointLight("pointlight1")
m.SetPointLightLocation("pointlight1", 500, 0, 500)
m.SetPointLightRGB("pointlight1", 1.3, 1.3, 1.3)
m.AddtoScene("pointlight1")

m.CreateTextures("M_Glass")
m.PigmentInTextureBegin("M_Glass")
m.PigmentInTextureSetRGB("M_Glass", 1, 1, 1, 1)
m.PigmentInTextureEnd("M_Glass")
m.FinishInTextureBegin("M_Glass")
m.FinishInTextureSetAmbient("M_Glass", 0, 0, 0)
m.FinishInTextureSetDiffuse("M_Glass", 0.05)
m.FinishInTextureSetSpecular("M_Glass", 0.6)
m.FinishInTextureSetRoughness("M_Glass", 0.005)
m.FinishInTextureSetReflection("M_Glass", 0.1, 0.1, 0.1)
m.FinishInTextureEnd("M_Glass")
m.InteriorInTextureBegin("M_Glass")
m.InteriorInTextureSetIOR("M_Glass", 1.5)
m.InteriorInTextureSetFadePower("M_Glass", 1001)
m.InteriorInTextureSetFadeDistance("M_Glass", 0.9)
m.InteriorInTextureSetFadeColor("M_Glass", 0.5)
m.InteriorInTextureEnd("M_Glass")

m.CreatePhotons("photons1")
m.SetPhotonsRefraction("photons1", 1)
m.SetPhotonsReflection("photons1", 1)
m.AddtoScene("M_Glass")  # a texture: writes nothing

m.CreateSphere("sphere1")
m.SetSphereCenter("sphere1", 0, 0, 1)
m.SetSphereRadius("sphere1", 1)
m.CleanTransition()
m.SetTranslate(1, 1, -1.3, 0)
m.SetTextureToObject("M_Glass")
m.SetPhotonsToObject("photons1")
m.AddtoScene("sphere1")

m.CreateCylinder("cylinder1")
m.SetCylinderBasePoint("cylinder1", 0, 0, 0.01)
m.SetCylinderCapPoint("cylinder1", 0, 0, 2.5)
m.SetCylinderRadius("cylinder1", 1)
m.CreateTextures("cylt1")
m.PigmentInTextureBegin("cylt1")
m.PigmentInTextureSetRGB("cylt1", 0.6, 0, 0, 0)
m.PigmentInTextureEnd("cylt1")
m.FinishInTextureBegin("cylt1")
m.FinishInTextureSetSpecular("cylt1", 0.8)
m.FinishInTextureSetRoughness("cylt1", 0.05)
m.FinishInTextureSetMetallic("cylt1", 1)
m.FinishInTextureSetReflection("cylt1", 0.1, 0.1, 0.1)
m.FinishInTextureEnd("cylt1")
m.CleanTransition()
m.SetTextureToObject("cylt1")
m.SetPhotonsToObject("photons1")
m.SetTranslate(1, -1.2, 0.8, 0)
m.AddtoScene("cylinder1")

m.CreateTextures("T1")
m.PigmentInTextureBegin("T1")
m.PigmentInTextureSetImage("T1", bumpmap, 0, 1)
m.PigmentInTextureEnd("T1")
m.CreateTextures("T2")
m.PigmentInTextureBegin("T2")
m.PigmentInTextureSetRGB("T2", 0.5, 0.3, 0.1, 0)
m.PigmentInTextureEnd("T2")
m.FinishInTextureBegin("T2")
m.FinishInTextureSetAmbient("T2", 0.2, 0.2, 0.2)
m.FinishInTextureSetDiffuse("T2", 0.7)
m.FinishInTextureSetReflection("T2", 0.5, 0.5, 0.5)
m.FinishInTextureEnd("T2")
m.CleanTransition()

m.CreateMesh("mesh1")
m.SetTextureToMesh("T2", "mesh1")
m.CreateTriangleInMesh("mesh1", 0)
m.SetTriangleCornerInMesh("mesh1", 1, -3, -3, 0)
m.SetTriangleCornerInMesh("mesh1", 2, -3, 3, 0)
m.SetTriangleCornerInMesh("mesh1", 3, -3, 3, 4)
m.PushTriangleInMesh("mesh1")
m.CreateTriangleInMesh("mesh1", 0)
m.SetTriangleCornerInMesh("mesh1", 1, -3, -3, 0)
m.SetTriangleCornerInMesh("mesh1", 2, -3, 3, 4)
m.SetTriangleCornerInMesh("mesh1", 3, -3, -3, 4)
m.PushTriangleInMesh("mesh1")
m.CreateTriangleInMesh("mesh1", 0)
m.SetTriangleCornerInMesh("mesh1", 1, -3, 3, 4)
m.SetTriangleCornerInMesh("mesh1", 2, -3, 3, 0)
m.SetTriangleCornerInMesh("mesh1", 3, 5, 3, 0)
m.SetTriangleUVInMesh("mesh1", 1, 0, 1)
m.SetTriangleUVInMesh("mesh1", 2, 0, 0)
m.SetTriangleUVInMesh("mesh1", 3, 1, 0)
m.SetTextureToTriangleInMesh("mesh1", "T1")
m.PushTriangleInMesh("mesh1")
m.CreateTriangleInMesh("mesh1", 0)
m.SetTriangleCornerInMesh("mesh1", 1, -3, 3, 4)
m.SetTriangleCornerInMesh("mesh1", 2, 5, 3, 0)
m.SetTriangleCornerInMesh("mesh1", 3, 5, 3, 4)
m.SetTriangleUVInMesh("mesh1", 1, 0, 1)
m.SetTriangleUVInMesh("mesh1", 2, 1, 0)
m.SetTriangleUVInMesh("mesh1", 3, 1, 1)
m.SetTextureToTriangleInMesh("mesh1", "T1")
m.PushTriangleInMesh("mesh1")
m.AddtoScene("mesh1")

m.CreateTextures("p2")
m.PigmentInTextureBegin("p2")
m.PigmentInTextureSetRGB("p2", 1, 0.8, 0.6, 0)
m.PigmentInTextureEnd("p2")
m.FinishInTextureBegin("p2")
m.FinishInTextureSetReflection("p2", 0.5, 0.5, 0.5)
m.FinishInTextureEnd("p2")
m.CreatePlane("plane1")
m.SetPlaneNormal("plane1", 0, 0, 1)
m.SetPlaneDistance("plane1", 0)
m.CleanTransition()
m.SetTextureToObject("p2")
m.AddtoScene("plane1")

m.Finish()

render = lumora.RenderNet2()
render.SetImage(1024, 768)
render.Zarvo()
state = render.WaitForJob(callback=lambda job: print("\r%5.1f %%" % (100 * job.progress.fraction), end=""))
print()
if state != lumora.RenderNet2.kJobCompleted:
    sys.exit("render failed: " + render.GetJobReason())
if render.progress.rows_placed < render.progress.rows_total:
    # Nodes end their band also when the renderer fails (see their logs).
    sys.exit("the nodes sent %d of %d rows" % (render.progress.rows_placed, render.progress.rows_total))
render.SavePicture(out)
print("saved", out)

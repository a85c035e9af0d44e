#!/usr/bin/env python3
"""A grid of spheres of varied textures, rendered on the farm to a PNG.

    PYTHONPATH=build/python python3 examples/spheres_grid.py [OUT.png]

Needs a running farm (see README: scripts/demo starts a local one).
"""
import sys

import lumora

out = sys.argv[1] if len(sys.argv) > 1 else "spheres.png"
rows, columns = 4, 6
width, height = 800, 450

m = lumora.Maker()
m.Init()

m.CreateCamera("cam")
m.SetCameraLocation("cam", 0, -11, 5.5)
m.SetCameraLookAt("cam", 0, 0, 0.5)
m.SetCameraAngle("cam", 55)
m.SetCameraRight("cam", width / height, 0, 0)  # the picture's aspect, or spheres come out oval
m.AddtoScene("cam")

for name, (x, y, z), rgb in (("key", (-6, -8, 10), (1.0, 0.95, 0.9)),
                             ("fill", (8, -6, 4), (0.35, 0.4, 0.5))):
    m.CreatePointLight(name)
    m.SetPointLightLocation(name, x, y, z)
    m.SetPointLightRGB(name, *rgb)
    m.AddtoScene(name)

m.CreateTextures("ground_tex")
m.PigmentInTextureBegin("ground_tex")
m.PigmentInTextureSetRGB("ground_tex", 0.85, 0.82, 0.78, 0)
m.PigmentInTextureEnd("ground_tex")
m.FinishInTextureBegin("ground_tex")
m.FinishInTextureSetReflection("ground_tex", 0.15, 0.15, 0.15)
m.FinishInTextureEnd("ground_tex")
m.CreatePlane("ground")
m.SetPlaneNormal("ground", 0, 0, 1)
m.SetPlaneDistance("ground", 0)
m.CleanTransition()
m.SetTextureToObject("ground_tex")
m.AddtoScene("ground")

for r in range(rows):
    for c in range(columns):
        tex, ball = "tex_%d_%d" % (r, c), "ball_%d_%d" % (r, c)
        hue = c / (columns - 1)
        m.CreateTextures(tex)
        m.PigmentInTextureBegin(tex)
        m.PigmentInTextureSetRGB(tex, 0.9 - 0.7 * hue, 0.25 + 0.5 * (r / (rows - 1)), 0.2 + 0.7 * hue, 0)
        m.PigmentInTextureEnd(tex)
        m.FinishInTextureBegin(tex)
        m.FinishInTextureSetPhong(tex, 0.2 + 0.25 * r)          # glossier towards the back
        m.FinishInTextureSetPhong_size(tex, 20 + 30 * c)
        m.FinishInTextureSetReflection(tex, *(0.08 * r,) * 3)   # and more mirror-like
        if (r + c) % 3 == 0:
            m.FinishInTextureSetMetallic(tex, 1)
        m.FinishInTextureEnd(tex)

        m.CreateSphere(ball)
        m.SetSphereCenter(ball, 0, 0, 0)
        m.SetSphereRadius(ball, 0.55)
        m.CleanTransition()
        m.SetTranslate(1, (c - (columns - 1) / 2) * 1.4, (r - (rows - 1) / 2) * 1.6, 0.55)
        m.SetTextureToObject(tex)
        m.AddtoScene(ball)

m.GlobalSetGamma(2.2)
m.Finish()

render = lumora.RenderNet2()
render.SetImage(width, height)
render.Zarvo()


def show(job):
    p = job.progress
    print("\r%5.1f %%  %d/%d rows" % (100 * p.fraction, p.rows_placed, p.rows_total), end="", flush=True)


state = render.WaitForJob(callback=show)
print()
if state != lumora.RenderNet2.kJobCompleted:
    sys.exit("render failed: " + render.GetJobReason())
if render.progress.rows_placed < render.progress.rows_total:
    # Nodes end their band also when the renderer fails (see their logs).
    sys.exit("the nodes sent %d of %d rows" % (render.progress.rows_placed, render.progress.rows_total))
render.SavePicture(out)
for n in render.nodes:
    print("%-24s band %d: %4d rows in %5.1f s" % (n.node, n.band, n.rows, n.seconds))
print("saved", out)

"""A farm render driven from Python, for python_farm_test.

usage: python_render.py OUT_DIR [leave]   (PYTHONPATH holding lumora; a farm running)
Builds a small scene, renders it at 96 x 72 on the farm, and leaves in
OUT_DIR the picture as saved by SavePicture (saved.png) and as the NumPy
array (array.rgb, raw rows top first). Checks the progress seen while
waiting and the nodes' summary, then renders an own scene (with an include
in a sub-folder) through SetScene and checks that a refused option is
refused. Prints "render: ok" at the end.
With "leave": starts a large render and leaves the interpreter as soon as
rows arrive, printing "leaving" first.
"""
import sys

import numpy
import lumora

out = sys.argv[1]
m = lumora.Maker()
m.Init()
m.CreateCamera("cam")
m.SetCameraLocation("cam", 0, -4, 1)
m.SetCameraLookAt("cam", 0, 0, 0)
m.AddtoScene("cam")
m.CreatePointLight("lamp")
m.SetPointLightLocation("lamp", 5, -5, 5)
m.SetPointLightRGB("lamp", 1, 1, 1)
m.AddtoScene("lamp")
m.CreateTextures("blue_tex")
m.PigmentInTextureBegin("blue_tex")
m.PigmentInTextureSetRGB("blue_tex", 0.2, 0.4, 0.9, 0)
m.PigmentInTextureEnd("blue_tex")
m.SetTextureToObject("blue_tex")
m.CreateSphere("ball")
m.SetSphereCenter("ball", 0, 0, 0)
m.SetSphereRadius("ball", 1)
m.AddtoScene("ball")
m.Finish()

r = lumora.RenderNet2()
if sys.argv[2:] == ["leave"]:
    assert r.SetImage(1600, 1200) == lumora.S_OK
    assert r.Zarvo() == lumora.S_OK
    for _ in range(600):
        if r.WaitForJob(100) != lumora.RenderNet2.kJobRunning or r.progress.rows_placed > 0:
            break
    assert r.progress.rows_placed > 0 and r.WaitForJob(0) == lumora.RenderNet2.kJobRunning, r.GetJobReason()
    print("leaving", flush=True)
    sys.exit(0)
assert r.SetImage(96, 72) == lumora.S_OK
assert r.Zarvo() == lumora.S_OK
seen = []
state = r.WaitForJob(120000, callback=lambda job: seen.append(job.progress))
assert state == lumora.RenderNet2.kJobCompleted, (state, r.GetJobReason())
seen.append(r.progress)
for before, after in zip(seen, seen[1:]):
    assert after.rows_placed >= before.rows_placed and after.bands_done >= before.bands_done, (before, after)
    assert after.elapsed_seconds >= before.elapsed_seconds
last = seen[-1]
assert (last.rows_placed, last.rows_total, last.fraction) == (72, 72, 1.0), last
assert last.bands_done == last.bands_total == 2 and last.nodes_working == 0, last

nodes = r.nodes
assert [n.band for n in nodes] == [1, 2] and all(n.finished and not n.handed_out_again for n in nodes), nodes
assert len({n.node for n in nodes}) == 2 and all(n.node.startswith("127.0.0.1:") for n in nodes), nodes
assert all(n.seconds > 0 and n.rows_per_second > 0 for n in nodes), nodes
overlap = nodes[0].last_row - nodes[1].first_row + 1
assert overlap == 19, [(n.first_row, n.last_row) for n in nodes]
# The job ends with its last missing row: overlap rows still on their way
# then are not counted.
assert 72 <= sum(n.rows for n in nodes) <= 72 + overlap, [n.rows for n in nodes]
picture = r.picture
assert picture.shape == (72, 96, 3) and picture.dtype == numpy.uint8, (picture.shape, picture.dtype)
assert r.SavePicture(out + "/saved.png") == lumora.S_OK
with open(out + "/array.rgb", "wb") as f:
    f.write(picture.tobytes())

# An own scene: its folder travels, includes resolve from the scene's folder.
import os
scene_dir = os.path.join(out, "own")
os.makedirs(os.path.join(scene_dir, "sub"), exist_ok=True)
with open(os.path.join(scene_dir, "sub", "colour.inc"), "w") as f:
    f.write("#declare Back = rgb <1, 0, 1>;\n")
with open(os.path.join(scene_dir, "scene.pov"), "w") as f:
    f.write('#version 3.7;\nglobal_settings { assumed_gamma 1 }\n#include "sub/colour.inc"\n'
            "background { Back }\ncamera { location <0, 0, -3> look_at 0 }\n")
scene = os.path.join(scene_dir, "scene.pov")
assert r.SetScene([scene, "Pre_Scene_Command=touch x"]) == lumora.S_FALSE
assert "Pre_Scene_Command" in r.GetJobReason(), r.GetJobReason()
assert r.SetScene([scene, "+W64", "+H48"]) == lumora.S_OK, r.GetJobReason()
assert r.Zarvo() == lumora.S_OK
state = r.WaitForJob(120000)
assert state == lumora.RenderNet2.kJobCompleted, (state, r.GetJobReason())
own = r.picture
assert own.shape == (48, 64, 3), own.shape
assert (own == numpy.array([255, 0, 255], dtype=numpy.uint8)).all(), own[0][0]
r.ClearScene()
print("render: ok")

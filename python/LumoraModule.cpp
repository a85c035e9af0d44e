// The Python module lumora: the scene maker and the render job controller
// of liblumora.so, for scripts that build a scene and render it on the farm.
//
// Maker is bound method by method from its header (MakerBindings.inc is
// generated at build time): same names, same order, the same integer
// answers. Only what the C++ side cannot be handed at all raises: a text
// that is not a str (TypeError, from the argument conversion, before
// anything is called) or a str with an embedded NUL (ValueError), and an
// integer argument beyond 32 bits (TypeError). None for a text is passed as
// the null pointer the C++ methods refuse with S_FALSE.
#include <pybind11/functional.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jobs/host/RenderNet2.h"
#include "python/QtHost.h"
#include "scene/Maker.h"

namespace py = pybind11;

namespace {

using OptionalText = std::optional<std::string>;

// The text a Maker method receives for a Python argument.
const char* TextArg(const OptionalText& text, const char* name) {
  if (!text) return nullptr;
  if (text->find('\0') != std::string::npos) {
    throw py::value_error(std::string(name) + ": embedded null character");
  }
  return text->c_str();
}

// How long one slice of a wait lasts: between slices Python handles
// signals (Ctrl-C) and the progress callback runs.
constexpr int32_t kWaitSliceMs = 200;

// Waits for the job in slices with the GIL released; see the docstring.
int32_t WaitForJob(RenderNet2& render, int32_t timeoutMs, const py::object& callback) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  int32_t state = RenderNet2::kJobNotStarted;
  for (;;) {
    int32_t slice = kWaitSliceMs;
    if (timeoutMs >= 0) {
      const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
      slice = static_cast<int32_t>(std::clamp<int64_t>(timeoutMs - spent, 0, kWaitSliceMs));
    }
    HRESULT hr;
    {
      py::gil_scoped_release unlocked;
      hr = render.WaitForJob(slice, &state);
    }
    if (!callback.is_none()) callback(render);
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    if (hr == S_OK) return state;
    if (timeoutMs >= 0 &&
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count() >= timeoutMs) {
      return state;
    }
  }
}

// The picture as (width, height, bytes), or None.
py::object PictureBytes(RenderNet2& render) {
  std::vector<uint8_t> rgb;
  int32_t width = 0;
  int32_t height = 0;
  HRESULT hr;
  {
    py::gil_scoped_release unlocked;
    hr = render.CopyPicture(&rgb, &width, &height);
  }
  if (hr != S_OK) return py::none();
  return py::make_tuple(width, height,
                        py::bytes(reinterpret_cast<const char*>(rgb.data()), static_cast<py::ssize_t>(rgb.size())));
}

// The picture as a height x width x 3 uint8 NumPy array, or None.
py::object PictureArray(RenderNet2& render) {
  py::object numpy;
  try {
    numpy = py::module_::import("numpy");
  } catch (const py::error_already_set&) {
    throw py::import_error(
        "RenderNet2.picture needs NumPy (Debian: python3-numpy; pip: lumora[numpy]); "
        "GetPictureBytes() gives the picture without it");
  }
  py::object picture = PictureBytes(render);
  if (picture.is_none()) return picture;
  py::tuple t = picture.cast<py::tuple>();
  py::object flat = numpy.attr("frombuffer")(t[2], py::arg("dtype") = numpy.attr("uint8"));
  return flat.attr("reshape")(t[1], t[0], 3).attr("copy")();
}

}  // namespace

#include "MakerBindings.inc"

namespace {

void BindMaker(py::module_& m) {
  py::class_<Maker> maker(m, "Maker", LUMORA_MAKER_DOC);
  maker.def(py::init<>());
  LUMORA_MAKER_METHODS(maker)
  maker.attr("METHODS") = py::make_tuple(LUMORA_MAKER_METHOD_NAMES);
}

void BindProgress(py::module_& m) {
  py::class_<jobs::JobProgressSnapshot>(m, "JobProgress", "A render job's progress at one moment.")
      .def_readonly("rows_placed", &jobs::JobProgressSnapshot::rowsPlaced, "picture rows received at least once")
      .def_readonly("rows_total", &jobs::JobProgressSnapshot::rowsTotal,
                    "rows of the picture (0 until the bands are cut)")
      .def_readonly("bands_done", &jobs::JobProgressSnapshot::bandsDone, "bands whose rows are all there")
      .def_readonly("bands_total", &jobs::JobProgressSnapshot::bandsTotal)
      .def_readonly("nodes_working", &jobs::JobProgressSnapshot::nodesWorking, "bands out on a node, not done yet")
      .def_readonly("elapsed_seconds", &jobs::JobProgressSnapshot::elapsedSeconds, "since Zarvo")
      .def_readonly("waiting", &jobs::JobProgressSnapshot::waiting,
                    "no band out yet: every node is busy, or taken by jobs that asked first")
      .def_readonly("nodes_busy", &jobs::JobProgressSnapshot::nodesBusy, "while waiting: nodes busy with other jobs")
      .def_property_readonly("fraction", &jobs::JobProgressSnapshot::fraction, "rows_placed / rows_total")
      .def("__repr__", [](const jobs::JobProgressSnapshot& p) {
        return "JobProgress(rows " + std::to_string(p.rowsPlaced) + "/" + std::to_string(p.rowsTotal) + ", bands " +
               std::to_string(p.bandsDone) + "/" + std::to_string(p.bandsTotal) + ")";
      });
  py::class_<jobs::NodeWork>(m, "NodeWork", "One hand-out of a band to a node.")
      .def_readonly("node", &jobs::NodeWork::node, "the node's address (host:port)")
      .def_readonly("band", &jobs::NodeWork::band)
      .def_readonly("first_row", &jobs::NodeWork::firstRow, "first row asked for (within the picture)")
      .def_readonly("last_row", &jobs::NodeWork::lastRow)
      .def_readonly("rows", &jobs::NodeWork::rows, "distinct rows of its range received from it")
      .def_readonly("seconds", &jobs::NodeWork::seconds)
      .def_readonly("rows_per_second", &jobs::NodeWork::rowsPerSecond)
      .def_readonly("finished", &jobs::NodeWork::finished, "the band was done on it")
      .def_readonly("lost", &jobs::NodeWork::lost, "the node lost the band; rows counts what it sent before")
      .def_readonly("handed_out_again", &jobs::NodeWork::handedOutAgain,
                    "it failed the band (stopped answering, rows missing) and the band went out again");
}

// Starts a job; a job that has ended is put away first (the C++ class wants
// an explicit Init for that), so a script renders again without ceremony.
HRESULT StartJob(RenderNet2& r) {
  int32_t state = RenderNet2::kJobNotStarted;
  r.GetJobState(&state);
  if (state != RenderNet2::kJobNotStarted && state != RenderNet2::kJobRunning) r.Init();
  const WId noWindow = 0;
  return r.Zarvo(&noWindow);
}

void BindJobCalls(py::class_<RenderNet2>& render) {
  render.attr("kJobNotStarted") = static_cast<int32_t>(RenderNet2::kJobNotStarted);
  render.attr("kJobRunning") = static_cast<int32_t>(RenderNet2::kJobRunning);
  render.attr("kJobCompleted") = static_cast<int32_t>(RenderNet2::kJobCompleted);
  render.attr("kJobNoIdleNode") = static_cast<int32_t>(RenderNet2::kJobNoIdleNode);
  render.attr("kJobAbandoned") = static_cast<int32_t>(RenderNet2::kJobAbandoned);
  render.attr("kJobFailed") = static_cast<int32_t>(RenderNet2::kJobFailed);
  render.attr("kJobIncomplete") = static_cast<int32_t>(RenderNet2::kJobIncomplete);
  render.attr("kJobCancelled") = static_cast<int32_t>(RenderNet2::kJobCancelled);
  render.def("CancelJob", &RenderNet2::CancelJob, py::arg("timeout_ms") = 3000,
             py::call_guard<py::gil_scoped_release>(),
             "Cancels the running job: its nodes are told to stop. Waits up to timeout_ms for its end; S_FALSE "
             "when it still runs then. Deleting the object or leaving the interpreter mid-job does the same.");
  render.def(
      "SetImage", [](RenderNet2& r, int32_t width, int32_t heigth) { return r.SetImage(width, heigth); },
      py::arg("width"), py::arg("heigth"), "The size of the next picture (640 x 480 until set). S_OK.");
  render.def("Zarvo", &StartJob, py::call_guard<py::gil_scoped_release>(),
             "Starts the render job of the scene the Maker wrote and returns at once (S_OK). A job that has "
             "ended is put away first (its picture too), so no Init is needed between renders; does nothing "
             "while a job runs. GetJobState and GetJobReason tell whether it started.");
  render.def("Destory", &RenderNet2::Destory, py::call_guard<py::gil_scoped_release>(),
             "Drops the job's picture; the busy flag stays set until Init or the next Zarvo. S_OK.");
  render.def("Init", &RenderNet2::Init, py::call_guard<py::gil_scoped_release>(),
             "Clears the busy flag so that the next Zarvo starts a job (Zarvo does this itself once a job has "
             "ended). S_OK.");
  render.def(
      "GetJobState",
      [](RenderNet2& r) {
        int32_t state = RenderNet2::kJobNotStarted;
        r.GetJobState(&state);
        return state;
      },
      "The state of the job of the last Zarvo (kJobNotStarted ... kJobFailed), at once.");
  render.def("WaitForJob", &WaitForJob, py::arg("timeout_ms") = -1, py::arg("callback") = py::none(),
             R"(Waits until the job is no longer running, or timeout_ms (negative: no limit)
has passed, and answers the job's state (kJobRunning after a time-out).
callback, when given, is called with this RenderNet2 about five times a
second while waiting. Ctrl-C interrupts the wait (the job goes on).)");
  render.def(
      "GetJobReason",
      [](RenderNet2& r) {
        const char* reason = "";
        r.GetJobReason(&reason);
        return std::string(reason != nullptr ? reason : "");
      },
      "One line saying why the job did not start or did not complete (empty otherwise).");
  render.def(
      "SetScene", [](RenderNet2& r, const std::vector<std::string>& args) { return r.SetScene(args); }, py::arg("args"),
      py::call_guard<py::gil_scoped_release>(),
      R"(Makes the next Zarvo render your own POV-Ray scene instead of the Maker's:
args as povray takes them, e.g. ["scene.pov", "+W640", "+H480", "+A0.3"]
or ["scene.ini"], over povray's defaults on this machine. The scene's
folder and +L library folders are sent to the nodes that render own
scenes; the picture's size is the scene's. S_FALSE, with the reason in
GetJobReason, for a refused or unknown option, a missing scene or too
large a folder. Then Zarvo, WaitForJob and picture as usual.)");
  render.def("ClearScene", &RenderNet2::ClearScene, "Back to the Maker's scene. S_OK.");
}

void BindJobResults(py::class_<RenderNet2>& render) {
  render.def(
      "SavePicture", [](RenderNet2& r, const std::string& path) { return r.SavePicture(path.c_str()); },
      py::arg("path"), py::call_guard<py::gil_scoped_release>(),
      "Saves the picture as it is now, format by extension (.jpg, .png, .bmp, .tga). S_OK when written, "
      "S_FALSE otherwise.");
  render.def_property_readonly(
      "progress",
      [](RenderNet2& r) {
        jobs::JobProgressSnapshot p;
        r.GetJobProgress(&p);
        return p;
      },
      "The job's progress now (a JobProgress); never blocks.");
  render.def_property_readonly(
      "nodes",
      [](RenderNet2& r) {
        std::vector<jobs::NodeWork> summary;
        r.GetNodeSummary(&summary);
        return summary;
      },
      "Per hand-out of a band to a node (a list of NodeWork): complete once the job has ended.");
  render.def("GetPictureBytes", &PictureBytes,
             "The picture as it is now: (width, height, bytes) with three bytes (r, g, b) a pixel, top row "
             "first; None when there is no picture. Needs no NumPy.");
  render.def_property_readonly("picture", &PictureArray,
                               "The picture as it is now, a height x width x 3 uint8 NumPy array (a copy); "
                               "None when there is no picture. Needs NumPy (ImportError without it).");
}

void BindRenderNet2(py::module_& m) {
  py::class_<RenderNet2> render(m, "RenderNet2", R"(Renders the scene that Maker wrote, on the farm, without a window.

Per picture: SetImage(width, height), Zarvo(), then WaitForJob() and
SavePicture(path) or picture. The job runs in the background (the GIL is
released while it runs and while waiting). The picture size and the busy
flag are shared by every RenderNet2 of the process; a job's picture is kept
until the next Zarvo (or Init).)");
  render.def(py::init([] {
    python::QtHost::Start();
    return new RenderNet2;
  }));
  BindJobCalls(render);
  BindJobResults(render);
}

}  // namespace

PYBIND11_MODULE(lumora, m) {
  m.doc() = "Scene maker and farm renders of the render farm (liblumora.so).";
  m.attr("S_OK") = S_OK;
  m.attr("S_FALSE") = S_FALSE;
  BindMaker(m);
  BindProgress(m);
  BindRenderNet2(m);

  // The application thread ends before the interpreter does; a job still
  // running is cancelled first, so no node renders on for nobody.
  py::module_::import("atexit").attr("register")(py::cpp_function([] {
    py::gil_scoped_release unlocked;
    RenderNet2::CancelAllJobs(3000);
    python::QtHost::Stop();
  }));
}

// libpvpreview.so: loaded into povray (LD_PRELOAD) in place of the SDL 1.2
// video calls its preview display makes. povray packs every finished pixel
// with SDL_MapRGBA and writes it straight into the preview surface, locking
// the surface around each block; this library owns that surface, marks every
// pixel it packs, and after each block passes the rows of the band that are
// now complete, top to bottom, down the pipe the engine gave it. Nothing is
// shown and no X server is needed.
//
// The engine sets, in the renderer's environment:
//   PVENGINE_TAP_FD      write end of the row pipe (see RowPipe.h)
//   PVENGINE_TAP_ROWS    "first last": the band's rows, 1 at the top
//   PVENGINE_TAP_PARENT  the engine's process id
//   PVENGINE_TAP_LOG     where the renderer's console output goes (optional)
//   PVENGINE_TAP_PICTURE the picture file's absolute path (optional): once
//                        povray has closed it, the tap says so down the pipe
//
// povray takes a while to end after writing its picture (statistics, its
// threads winding down); the engine need not wait for that to read it.
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/FinishedRows.h"
#include "engine/RowPipe.h"

namespace {

// The parts of SDL 1.2's public structures that povray's display touches,
// laid out as in SDL_video.h.
struct SdlRect {
  std::int16_t x, y;
  std::uint16_t w, h;
};
struct SdlPixelFormat {
  void* palette;
  std::uint8_t BitsPerPixel, BytesPerPixel;
  std::uint8_t Rloss, Gloss, Bloss, Aloss;
  std::uint8_t Rshift, Gshift, Bshift, Ashift;
  std::uint32_t Rmask, Gmask, Bmask, Amask;
  std::uint32_t colorkey;
  std::uint8_t alpha;
};
struct SdlSurface {
  std::uint32_t flags;
  SdlPixelFormat* format;
  int w, h;
  std::uint16_t pitch;
  void* pixels;
  int offset;
  void* hwdata;
  SdlRect clip_rect;
  std::uint32_t unused1;
  std::uint32_t locked;
  void* map;
  unsigned int format_version;
  int refcount;
};
// A "hardware" surface must be locked before its pixels are written, so
// povray brackets every block it draws with Lock/Unlock.
constexpr std::uint32_t kHwSurface = 0x00000001;

// Pixels are stored as COLORREF (red in the low byte) with FinishedRows'
// drawn mark in the top bit.
SdlPixelFormat gFormat = {nullptr, 32, 4, 0, 0, 0, 8, 0, 8, 16, 0, 0x0000FF, 0x00FF00, 0xFF0000, 0, 0, 255};

struct Tap {
  std::recursive_mutex mutex;
  int fd = -1;
  int first = 1;
  int last = 0;
  SdlSurface* preview = nullptr;
  std::unique_ptr<engine::FinishedRows> rows;
  std::vector<std::uint32_t> colorref;
  std::string picture;  // empty: nobody asked
  bool pictureWritten = false;

  void SendFinished() {
    if (!rows || fd < 0) return;
    int row = 0;
    colorref.resize(static_cast<std::size_t>(preview->w));
    while (rows->Next(&row)) {
      const std::uint32_t* line = rows->Row(row);
      for (int x = 0; x < preview->w; ++x) colorref[x] = line[x] & 0x00FFFFFFu;
      if (!engine::WriteRowRecord(fd, row, colorref.data(), preview->w)) {
        fd = -1;  // the engine is gone; rendering on is its parent's business
        return;
      }
    }
  }

  void SendPictureWritten() {
    if (fd < 0 || pictureWritten) return;
    pictureWritten = true;
    if (!engine::WriteRowRecord(fd, engine::kPictureWrittenRow, nullptr, 0)) fd = -1;
  }
};

Tap& TheTap() {
  static Tap* tap = new Tap();  // never freed: povray may draw while exiting
  return *tap;
}

SdlSurface* NewSurface(int w, int h, bool withPixels) {
  if (w <= 0 || h <= 0 || static_cast<long>(w) * 4 > 0xFFFF) return nullptr;
  auto* s = static_cast<SdlSurface*>(std::calloc(1, sizeof(SdlSurface)));
  if (s == nullptr) return nullptr;
  s->format = &gFormat;
  s->w = w;
  s->h = h;
  s->pitch = static_cast<std::uint16_t>(w * 4);
  s->clip_rect = {0, 0, static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h)};
  s->refcount = 1;
  if (withPixels) {
    s->pixels = std::calloc(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 4);
    if (s->pixels == nullptr) {
      std::free(s);
      return nullptr;
    }
  }
  return s;
}

// Runs when povray starts. The engine's process group is ours too, so
// whoever ends the engine's group ends the renderer with it; and the
// renderer does not outlive the engine.
__attribute__((constructor)) void StartTap() {
  const char* fd = std::getenv("PVENGINE_TAP_FD");
  if (fd == nullptr) return;
  if (const char* parent = std::getenv("PVENGINE_TAP_PARENT")) {
    const pid_t engine = static_cast<pid_t>(std::atol(parent));
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != engine) _exit(1);
    const pid_t group = getpgid(engine);
    if (group > 0) setpgid(0, group);
  }
  if (const char* log = std::getenv("PVENGINE_TAP_LOG")) {
    const int logFd = std::atoi(log);
    dup2(logFd, 1);
    dup2(logFd, 2);
    if (logFd > 2) close(logFd);
  }
  Tap& tap = TheTap();
  tap.fd = std::atoi(fd);
  if (const char* rows = std::getenv("PVENGINE_TAP_ROWS")) {
    if (std::sscanf(rows, "%d %d", &tap.first, &tap.last) != 2) tap.last = 0;
  }
  if (const char* picture = std::getenv("PVENGINE_TAP_PICTURE")) tap.picture = picture;
}

// True when `fd` is open on the picture file for writing (povray also looks
// at the file before it renders).
bool IsPicture(const Tap& tap, int fd) {
  if (tap.picture.empty() || fd < 0) return false;
  const int mode = fcntl(fd, F_GETFL);
  if (mode < 0 || (mode & O_ACCMODE) == O_RDONLY) return false;
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char path[PATH_MAX];
  const ssize_t n = readlink(link, path, sizeof path);
  return n > 0 && static_cast<std::size_t>(n) == tap.picture.size() && tap.picture.compare(0, n, path, n) == 0;
}

}  // namespace

extern "C" {

int SDL_Init(std::uint32_t) { return 0; }

char* SDL_GetError() {
  static char none[] = "";
  return none;
}

// No list of modes: the preview keeps the picture's size, unscaled.
SdlRect** SDL_ListModes(SdlPixelFormat*, std::uint32_t) { return nullptr; }

SdlSurface* SDL_SetVideoMode(int w, int h, int, std::uint32_t) {
  static SdlSurface* screen = nullptr;  // nothing is drawn on it
  if (screen == nullptr) screen = NewSurface(w, h, false);
  return screen;
}

SdlSurface* SDL_CreateRGBSurface(std::uint32_t, int w, int h, int, std::uint32_t, std::uint32_t, std::uint32_t,
                                 std::uint32_t) {
  return NewSurface(w, h, false);
}

// The preview surface povray draws into.
SdlSurface* SDL_DisplayFormat(SdlSurface* like) {
  Tap& tap = TheTap();
  std::lock_guard<std::recursive_mutex> lock(tap.mutex);
  SdlSurface* s = like ? NewSurface(like->w, like->h, true) : nullptr;
  if (s == nullptr) return nullptr;
  s->flags = kHwSurface;
  if (tap.preview == nullptr) {
    tap.preview = s;
    tap.rows = std::make_unique<engine::FinishedRows>(static_cast<const std::uint32_t*>(s->pixels), s->w, s->h, s->w,
                                                      tap.first, tap.last);
  }
  return s;
}

void SDL_FreeSurface(SdlSurface* s) {
  Tap& tap = TheTap();
  std::lock_guard<std::recursive_mutex> lock(tap.mutex);
  if (s == nullptr || s == tap.preview) return;  // the preview lives as long as the process
  std::free(s->pixels);
  std::free(s);
}

// Fills are clears and previews of unfinished work: they never count as
// drawn.
int SDL_FillRect(SdlSurface* s, SdlRect* r, std::uint32_t colour) {
  if (s == nullptr || s->pixels == nullptr) return 0;
  Tap& tap = TheTap();
  std::lock_guard<std::recursive_mutex> lock(tap.mutex);
  const int x0 = r ? std::max<int>(r->x, 0) : 0;
  const int y0 = r ? std::max<int>(r->y, 0) : 0;
  const int x1 = r ? std::min<int>(r->x + r->w, s->w) : s->w;
  const int y1 = r ? std::min<int>(r->y + r->h, s->h) : s->h;
  auto* pixels = static_cast<std::uint32_t*>(s->pixels);
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x)
      pixels[static_cast<std::size_t>(y) * s->w + x] = colour & ~engine::FinishedRows::kDrawn;
  }
  return 0;
}

std::uint32_t SDL_MapRGBA(const SdlPixelFormat*, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t) {
  return engine::FinishedRows::kDrawn | r | (static_cast<std::uint32_t>(g) << 8) |
         (static_cast<std::uint32_t>(b) << 16);
}

void SDL_GetRGBA(std::uint32_t pixel, const SdlPixelFormat*, std::uint8_t* r, std::uint8_t* g, std::uint8_t* b,
                 std::uint8_t* a) {
  *r = pixel & 0xFF;
  *g = (pixel >> 8) & 0xFF;
  *b = (pixel >> 16) & 0xFF;
  *a = 255;
}

int SDL_LockSurface(SdlSurface*) {
  TheTap().mutex.lock();
  return 0;
}

// A block has been drawn: pass on the rows it completed.
void SDL_UnlockSurface(SdlSurface* s) {
  Tap& tap = TheTap();
  if (s == tap.preview) tap.SendFinished();
  tap.mutex.unlock();
}

int SDL_PollEvent(void*) { return 0; }

// povray writes its picture through stdio (or a file stream over it).
int fclose(std::FILE* file) {
  using Close = int (*)(std::FILE*);
  static const Close real = reinterpret_cast<Close>(dlsym(RTLD_NEXT, "fclose"));
  Tap& tap = TheTap();
  const bool picture = file != nullptr && IsPicture(tap, fileno(file));
  const int result = real(file);
  if (picture && result == 0) {
    std::lock_guard<std::recursive_mutex> lock(tap.mutex);
    tap.SendPictureWritten();
  }
  return result;
}

int SDL_UpperBlit(SdlSurface*, SdlRect*, SdlSurface*, SdlRect*) { return 0; }

void SDL_UpdateRect(SdlSurface*, std::int32_t, std::int32_t, std::uint32_t, std::uint32_t) {}

}  // extern "C"

#pragma once
#include <vector>

namespace engine {

// Picture rows first..last, 1 at the top, both included.
struct Strip {
  int first = 0;
  int last = 0;
  int rows() const { return last - first + 1; }
  bool operator==(const Strip&) const = default;
};

// A band cut into strips, for renderers that hand over their rows only in a
// picture written when they end (one run per strip). pvengine no longer
// needs this: its renderer hands over rows while it runs. The first strip is
// small so that the first rows arrive soon; later strips grow by `growth`
// up to `share` of the band, which bounds the number of runs (each costs a
// parse and a start-up) while rows keep arriving through the band.
struct StripPolicy {
  int firstRows = 2;
  int growth = 4;
  int share = 4;  // no strip above ceil(band / share) rows, unless firstRows is larger
                  // (or a joined remainder makes it up to half as large again)
};

// Strips covering first..last in order, without gaps or overlaps; a last
// piece of half a strip or less joins the strip before it. Empty when
// last < first.
std::vector<Strip> PlanStrips(int first, int last, const StripPolicy& policy = StripPolicy());

// The start and end rows to ask the renderer for, for a strip of a picture
// `height` rows high. The renderer reads an end row of 1 as "the whole
// height", so a strip of row 1 alone asks for rows 1 to 2 (the extra row is
// not sent).
Strip RendererRows(const Strip& strip, int height);

}  // namespace engine

// Part of the render farm's build of povray: hands each finished row of the
// picture to the process that started the renderer while the picture is
// still rendering, instead of only in the picture file at the end.
//
// Off unless the environment names the pipe:
//   PVENGINE_ROW_FD     a descriptor open for writing
//   PVENGINE_ROW_RANGE  "first last": the rows wanted, 1 at the top (all
//                       rows when missing)
// One record a row, in host byte order: row number (1 at the top), pixel
// count (the picture's width), then that many COLORREF values (red in the
// low byte), encoded exactly as an 8-bit PPM of the picture would hold them:
// the file gamma, no dithering, alpha left out.
//
// A row leaves once every pixel of it inside the rendered columns has its
// final colour (blocks of a mosaic preview or a radiosity pretrace do not
// count); when the render has ended well, every wanted row not sent yet
// goes, as the picture holds it. A row is sent once.

#ifndef POVRAY_FRONTEND_ROWSTREAM_H
#define POVRAY_FRONTEND_ROWSTREAM_H

#include <vector>

#include <boost/thread/mutex.hpp>

#include "base/types.h"
#include "base/povmscpp.h"
#include "base/image/image.h"
#include "base/image/encoding.h"

namespace pov_frontend
{

using namespace pov_base;

class RowStream
{
	public:
		// The stream of this process, or NULL when none was asked for.
		static RowStream *Get();

		// A view begins: `image` will hold its final pixels, and `options`
		// (as the view was created with them) give the file gamma and the
		// rendered columns.
		void Begin(POVMS_Object& options, const shared_ptr<Image>& image);

		// The image now holds final colours for the pixels of the rectangle
		// (both corners included; clipped to the picture).
		void Finished(int left, int top, int right, int bottom);

		// The render ended well.
		void End();

	private:
		RowStream(int fd, int firstRow, int lastRow);
		static RowStream *Create();     // from the environment

		void SendRow(unsigned int y);   // with the lock held
		bool Write(const void *data, size_t size);

		boost::mutex mutex;
		int fd;                         // -1 once the pipe has gone
		int firstRow, lastRow;          // wanted rows, 1 at the top
		shared_ptr<Image> image;
		GammaCurvePtr gamma;
		DitherHandlerPtr noDither;
		int left, right;                // rendered columns, from 0
		std::vector<bool> done;         // final pixels, row by row
		std::vector<int> doneInRow;     // of the rendered columns
		std::vector<bool> sent;
		std::vector<unsigned char> record;
};

}

#endif

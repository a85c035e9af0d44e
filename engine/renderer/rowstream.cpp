// Part of the render farm's build of povray; see rowstream.h.

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

// configbase.h must always be the first POV file included within base *.cpp files
#include "base/configbase.h"
#include "base/types.h"
#include "base/povmsgid.h"

#include "frontend/configfrontend.h"
#include "frontend/rowstream.h"

// this must be the last file included
#include "base/povdebug.h"

namespace pov_frontend
{

namespace
{

// The column the renderer starts or ends at, as it works it out from the
// Start_Column and End_Column options (from 0).
int RenderedColumn(POVMS_Object& options, POVMSType key, int width, bool end)
{
	const DBL value = options.TryGetFloat(key, end ? POVMSFloat(width) : 1.0f);
	if(end)
		return (value >= 0.0 && value <= 1.0) ? int(DBL(width) * value) - 1 : int(value - 1);
	return (value >= 0.0 && value < 1.0) ? int(DBL(width) * value) : int(value) - 1;
}

}

RowStream *RowStream::Create()
{
	const char *fdText = getenv("PVENGINE_ROW_FD");
	if(fdText == NULL || *fdText == '\0')
		return NULL;
	char *end = NULL;
	const long fd = strtol(fdText, &end, 10);
	if(*end != '\0' || fd < 0 || fd > 65535 || fcntl(int(fd), F_GETFD) == -1)
		return NULL;
	// Programs the scene runs must not hold the pipe open.
	fcntl(int(fd), F_SETFD, FD_CLOEXEC);
	int first = 1, last = INT_MAX;
	if(const char *range = getenv("PVENGINE_ROW_RANGE"))
	{
		int a, b;
		if(sscanf(range, "%d %d", &a, &b) == 2 && a >= 1 && b >= a)
			first = a, last = b;
	}
	return new RowStream(int(fd), first, last);
}

RowStream *RowStream::Get()
{
	// Made once, the first time a view asks, and kept for the process.
	static RowStream *stream = Create();
	return stream;
}

RowStream::RowStream(int fd, int firstRow, int lastRow) :
	fd(fd), firstRow(firstRow), lastRow(lastRow), left(0), right(-1)
{
}

void RowStream::Begin(POVMS_Object& options, const shared_ptr<Image>& img)
{
	boost::mutex::scoped_lock lock(mutex);
	image = img;
	// As the picture file's writer works it out.
	const GammaCurvePtr encoding(GetGammaCurve(options.TryGetInt(kPOVAttrib_FileGammaType, DEFAULT_FILE_GAMMA_TYPE),
	                                           options.TryGetFloat(kPOVAttrib_FileGamma, DEFAULT_FILE_GAMMA)));
	const GammaCurvePtr working(GetGammaCurve(options.TryGetInt(kPOVAttrib_WorkingGammaType, DEFAULT_WORKING_GAMMA_TYPE),
	                                          options.TryGetFloat(kPOVAttrib_WorkingGamma, DEFAULT_WORKING_GAMMA)));
	gamma = TranscodingGammaCurve::Get(working, encoding);
	noDither = GetNoOpDitherHandler();
	const int width = int(image->GetWidth());
	const int height = int(image->GetHeight());
	left = std::max(0, RenderedColumn(options, kPOVAttrib_Left, width, false));
	right = std::min(width - 1, RenderedColumn(options, kPOVAttrib_Right, width, true));
	done.assign(size_t(width) * size_t(height), false);
	doneInRow.assign(size_t(height), 0);
	sent.assign(size_t(height), false);
	record.resize(8 + 4 * size_t(width));
}

void RowStream::Finished(int rectLeft, int top, int rectRight, int bottom)
{
	boost::mutex::scoped_lock lock(mutex);
	if(!image || fd < 0)
		return;
	const int width = int(image->GetWidth());
	const int height = int(image->GetHeight());
	const int columns = right - left + 1;
	rectLeft = std::max(rectLeft, left);
	rectRight = std::min(rectRight, right);
	top = std::max(top, 0);
	bottom = std::min(bottom, height - 1);
	for(int y = top; y <= bottom; y++)
	{
		for(int x = rectLeft; x <= rectRight; x++)
		{
			const size_t i = size_t(y) * size_t(width) + size_t(x);
			if(!done[i])
			{
				done[i] = true;
				doneInRow[y]++;
			}
		}
		if(doneInRow[y] == columns && y + 1 >= firstRow && y + 1 <= lastRow && !sent[y])
			SendRow(y);
	}
}

void RowStream::End()
{
	boost::mutex::scoped_lock lock(mutex);
	if(!image)
		return;
	const int height = int(image->GetHeight());
	for(int y = std::max(firstRow, 1) - 1; y < std::min(lastRow, height) && fd >= 0; y++)
		if(!sent[y])
			SendRow(y);
}

void RowStream::SendRow(unsigned int y)
{
	sent[y] = true;
	const POVMSInt width = image->GetWidth();
	const POVMSInt row = y + 1;
	memcpy(&record[0], &row, 4);
	memcpy(&record[4], &width, 4);
	unsigned char *out = &record[8];
	for(unsigned int x = 0; x < image->GetWidth(); x++, out += 4)
	{
		unsigned int red, green, blue;
		GetEncodedRGBValue(image.get(), x, y, gamma, 255, red, green, blue, *noDither);
		out[0] = red;
		out[1] = green;
		out[2] = blue;
		out[3] = 0;
	}
	if(!Write(&record[0], record.size()))
	{
		// Whoever read the rows has gone; the render goes on without them.
		close(fd);
		fd = -1;
	}
}

bool RowStream::Write(const void *data, size_t size)
{
	const char *p = static_cast<const char *>(data);
	while(size > 0)
	{
		const ssize_t n = write(fd, p, size);
		if(n < 0 && errno == EINTR)
			continue;
		if(n <= 0)
			return false;
		p += n;
		size -= size_t(n);
	}
	return true;
}

}

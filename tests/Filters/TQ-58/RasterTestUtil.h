// Writes CUPS raster files for filter tests with libcups itself.
#ifndef TQ58_TEST_RASTERTESTUTIL_H
#define TQ58_TEST_RASTERTESTUTIL_H

#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

struct RasterPage {
  unsigned width = 0, height = 0, copies = 1;
  unsigned bitsPerPixel = 24;  // 24 RGB, 8 grey
  // Pixel value of line y, column x, channel c.
  std::function<unsigned char(unsigned x, unsigned y, unsigned c)> pixel = [](unsigned, unsigned, unsigned) {
    return static_cast<unsigned char>(128);
  };
};

inline cups_page_header2_t RasterHeader(const RasterPage& page)
{
  cups_page_header2_t h;
  std::memset(&h, 0, sizeof h);
  h.cupsWidth = page.width;
  h.cupsHeight = page.height;
  h.cupsBitsPerColor = 8;
  h.cupsBitsPerPixel = page.bitsPerPixel;
  h.cupsBytesPerLine = page.width * page.bitsPerPixel / 8;
  h.cupsColorSpace = page.bitsPerPixel == 24 ? CUPS_CSPACE_RGB : CUPS_CSPACE_W;
  h.cupsColorOrder = CUPS_ORDER_CHUNKED;
  h.NumCopies = page.copies;
  h.HWResolution[0] = h.HWResolution[1] = 300;
  h.PageSize[0] = page.width * 72 / 300;
  h.PageSize[1] = page.height * 72 / 300;
  return h;
}

// Writes the pages (whole, or the first `lines` lines of the last page when lines >= 0) to fd.
inline void WriteRaster(int fd, const std::vector<RasterPage>& pages, int lastPageLines = -1)
{
  cups_raster_t* r = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
  for (size_t p = 0; p < pages.size(); ++p) {
    cups_page_header2_t h = RasterHeader(pages[p]);
    cupsRasterWriteHeader2(r, &h);
    const unsigned lines = (p + 1 == pages.size() && lastPageLines >= 0) ? unsigned(lastPageLines) : h.cupsHeight;
    std::vector<unsigned char> line(h.cupsBytesPerLine);
    const unsigned channels = pages[p].bitsPerPixel / 8;
    for (unsigned y = 0; y < lines; ++y) {
      for (unsigned x = 0; x < h.cupsWidth; ++x)
        for (unsigned c = 0; c < channels; ++c) line[x * channels + c] = pages[p].pixel(x, y, c);
      cupsRasterWritePixels(r, line.data(), h.cupsBytesPerLine);
    }
  }
  cupsRasterClose(r);
}

inline void WriteRasterFile(const std::string& path, const std::vector<RasterPage>& pages)
{
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  WriteRaster(fd, pages);
  close(fd);
}

// Starts the filter at path for job 12 (102x102mm, no colour matching) with its
// standard input and output on pipes; *toFilter and *fromFilter get our ends.
inline pid_t StartFilterProcess(const char* path, int* toFilter, int* fromFilter)
{
  int in[2], out[2];
  if (pipe(in) != 0 || pipe(out) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    close(in[1]);
    close(out[0]);
    execl(path, "rastertotq58", "12", "u", "t", "1", "PageSize=102x102mm FyxICM=None", nullptr);
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  *toFilter = in[1];
  *fromFilter = out[0];
  return pid;
}

#endif

// Binary PPM ("P6") images, as the texture code reads and writes them.
//
// In memory an image is one block from malloc (the caller frees it with free):
// rows of width pixels, row 0 the bottom row of the picture, each pixel red,
// green, blue; one byte per sample at depth 8, two bytes per sample at depth 16,
// kept in the byte order of the file.
#pragma once

// Results of ReadPpm.
constexpr int AK_PPM_OK = 0;
constexpr int AK_PPM_CANNOT_OPEN = 1;  // the file cannot be opened
constexpr int AK_PPM_BAD_MAGIC = 2;    // the magic line is not "P6"
constexpr int AK_PPM_BAD_SIZE = 3;     // no width and height, or one of them below 1
constexpr int AK_PPM_BAD_MAXVAL = 4;   // no maximum in 1..65535, or no buffer for the pixels
constexpr int AK_PPM_TRUNCATED = 5;    // the file holds fewer pixels than its header promises

// Results of WritePpm besides 0 and 1 (cannot open: also for a path that names something
// other than a file, such as a device, which is never replaced).
constexpr int AK_PPM_WRITE_FAILED = 2;  // writing or closing failed; a previous file stays
constexpr int AK_PPM_BAD_IMAGE = 3;     // depth above 16, no pixels or a size below 1; no file

// Reads a PPM image. On success width, height, depth (8 or 16 bits per sample)
// and data receive the image; on failure they are left as they were and no
// buffer is handed out. Samples are not rescaled to the file's maximum value.
int ReadPpm(const char* path, int& width, int& height, int& depth, unsigned char*& data);

// Writes a PPM image from a bottom-up buffer; depth is the bits per sample of
// the buffer (up to 8: one byte per sample, maximum 255; 9 to 16: two bytes per
// sample, maximum 65535). The image is written under a temporary name and takes
// the place of a previous file only when complete (AK_File::Replacing).
int WritePpm(const char* path, int width, int height, int depth, const unsigned char* data);

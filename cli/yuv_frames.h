// What FFmpeg's pixel formats, frames and colour tags mean for the YUV
// conversions (cli/yuv_convert.h). The reader and the writer meet here: the
// rule for video without colour tags is written once, so that what the
// writer tags and converts is what the reader reads back.
#pragma once

#include "cli/yuv_convert.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace cli {

// The layout (planes left empty) of a pixel format the conversions cover:
// planar YUV of 8 or 10 bits in little-endian words, chroma at full, half or
// quarter width and full or half height, any alpha plane ignored. False for
// every other format; those go through swscale.
bool YuvLayoutOf(int pixelFormat, YuvPicture& layout);

// A frame's planes in a layout YuvLayoutOf gave for its format.
YuvPicture YuvPictureOf(const AVFrame& frame, const YuvPicture& layout);

// Sets every sample of a YUV frame's alpha plane, if it has one, to opaque:
// the effect's pictures are opaque video.
void MakeAlphaOpaque(AVFrame& frame);

// The matrix of video that names none: BT.709 from 720 rows up, else BT.601.
YuvMatrix UntaggedMatrix(int height);

// The matrix and range a decoded frame is read with: its own tags, limited
// range unless it says full, and UntaggedMatrix where it names no matrix the
// conversions know (BT.2020 constant luminance is read as non-constant).
YuvColour SourceColourOf(const AVFrame& frame);

// The matrix and range the writer converts to, from the encoder's colour
// tags once its pixel format is set. Tags nothing set are filled in: RGB
// formats are tagged RGB and full range, YUV ones UntaggedMatrix of the
// picture's height and limited range (full for the "yuvj" formats). A matrix
// the conversions cannot make is replaced in the tags by the one used.
YuvColour SettleEncoderColour(AVCodecContext& encoder);

// swscale's name (SWS_CS_*) for a matrix, for the formats it converts.
int SwsColorspaceOf(YuvMatrix matrix);

}  // namespace cli

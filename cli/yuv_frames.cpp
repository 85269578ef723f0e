#include "cli/yuv_frames.h"

#include <cstring>

#include "cli/frame_source.h"

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace cli {
namespace {

bool IsFullRangeFormat(int pixelFormat) {
  switch (pixelFormat) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
      return true;
    default:
      return false;
  }
}

// The matrix a colour tag names, if the conversions know it.
bool MatrixOfTag(int colorspace, YuvMatrix& matrix) {
  switch (colorspace) {
    case AVCOL_SPC_BT709:
      matrix = YuvMatrix::kBt709;
      return true;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
      matrix = YuvMatrix::kBt601;
      return true;
    case AVCOL_SPC_SMPTE240M:
      matrix = YuvMatrix::kSmpte240m;
      return true;
    case AVCOL_SPC_FCC:
      matrix = YuvMatrix::kFcc;
      return true;
    case AVCOL_SPC_BT2020_NCL:
      matrix = YuvMatrix::kBt2020;
      return true;
    default:
      return false;
  }
}

AVColorSpace TagOfMatrix(YuvMatrix matrix) {
  switch (matrix) {
    case YuvMatrix::kBt601:
      return AVCOL_SPC_SMPTE170M;
    case YuvMatrix::kBt2020:
      return AVCOL_SPC_BT2020_NCL;
    case YuvMatrix::kSmpte240m:
      return AVCOL_SPC_SMPTE240M;
    case YuvMatrix::kFcc:
      return AVCOL_SPC_FCC;
    case YuvMatrix::kBt709:
      break;
  }
  return AVCOL_SPC_BT709;
}

}  // namespace

bool YuvLayoutOf(int pixelFormat, YuvPicture& layout) {
  const AVPixFmtDescriptor* descriptor =
      av_pix_fmt_desc_get(static_cast<AVPixelFormat>(pixelFormat));
  if (!descriptor || descriptor->nb_components < 3) return false;
  const uint64_t excluded = AV_PIX_FMT_FLAG_BE | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                            AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_BAYER |
                            AV_PIX_FMT_FLAG_FLOAT;
  if (!(descriptor->flags & AV_PIX_FMT_FLAG_PLANAR) || (descriptor->flags & excluded)) return false;
  const int depth = descriptor->comp[0].depth;
  if (depth != 8 && depth != 10) return false;
  for (int i = 0; i < 3; ++i) {
    const AVComponentDescriptor& component = descriptor->comp[i];
    if (component.plane != i || component.offset != 0 || component.shift != 0 ||
        component.depth != depth || component.step != (depth == 8 ? 1 : 2)) {
      return false;
    }
  }
  if (descriptor->log2_chroma_w > 2 || descriptor->log2_chroma_h > 1) return false;
  layout = YuvPicture();
  layout.chromaShiftX = descriptor->log2_chroma_w;
  layout.chromaShiftY = descriptor->log2_chroma_h;
  layout.depth = depth;
  return true;
}

YuvPicture YuvPictureOf(const AVFrame& frame, const YuvPicture& layout) {
  YuvPicture picture = layout;
  for (int i = 0; i < 3; ++i) {
    picture.planes[i] = frame.data[i];
    picture.strides[i] = frame.linesize[i];
  }
  picture.width = frame.width;
  picture.height = frame.height;
  return picture;
}

void MakeAlphaOpaque(AVFrame& frame) {
  const AVPixFmtDescriptor* descriptor =
      av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
  if (!descriptor || !(descriptor->flags & AV_PIX_FMT_FLAG_ALPHA) ||
      descriptor->nb_components != 4 || descriptor->comp[3].plane != 3 || !frame.data[3]) {
    return;
  }
  const int depth = descriptor->comp[3].depth;
  for (int y = 0; y < frame.height; ++y) {
    uint8_t* row = frame.data[3] + static_cast<ptrdiff_t>(y) * frame.linesize[3];
    if (depth == 8) {
      std::memset(row, 255, static_cast<size_t>(frame.width));
    } else {
      const uint16_t opaque = static_cast<uint16_t>((1 << depth) - 1);
      for (int x = 0; x < frame.width; ++x) std::memcpy(row + 2 * x, &opaque, 2);
    }
  }
}

YuvMatrix UntaggedMatrix(int height) {
  return height >= 720 ? YuvMatrix::kBt709 : YuvMatrix::kBt601;
}

YuvColour SourceColourOf(const AVFrame& frame) {
  YuvColour colour;
  const int colorspace = EnumValue(frame.colorspace);
  if (!MatrixOfTag(colorspace == AVCOL_SPC_BT2020_CL ? AVCOL_SPC_BT2020_NCL : colorspace,
                   colour.matrix)) {
    colour.matrix = UntaggedMatrix(frame.height);
  }
  colour.fullRange =
      EnumValue(frame.color_range) == AVCOL_RANGE_JPEG || IsFullRangeFormat(frame.format);
  return colour;
}

YuvColour SettleEncoderColour(AVCodecContext& encoder) {
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(encoder.pix_fmt);
  const bool isRgb = descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_RGB);
  YuvColour colour;
  if (isRgb) {
    if (encoder.colorspace == AVCOL_SPC_UNSPECIFIED) encoder.colorspace = AVCOL_SPC_RGB;
    if (encoder.color_range == AVCOL_RANGE_UNSPECIFIED) encoder.color_range = AVCOL_RANGE_JPEG;
    colour.fullRange = true;
    return colour;
  }
  if (!MatrixOfTag(encoder.colorspace, colour.matrix)) {
    colour.matrix = UntaggedMatrix(encoder.height);
    encoder.colorspace = TagOfMatrix(colour.matrix);
  }
  if (IsFullRangeFormat(encoder.pix_fmt)) encoder.color_range = AVCOL_RANGE_JPEG;
  if (encoder.color_range != AVCOL_RANGE_JPEG) encoder.color_range = AVCOL_RANGE_MPEG;
  colour.fullRange = encoder.color_range == AVCOL_RANGE_JPEG;
  return colour;
}

int SwsColorspaceOf(YuvMatrix matrix) {
  switch (matrix) {
    case YuvMatrix::kBt601:
      return SWS_CS_ITU601;
    case YuvMatrix::kBt2020:
      return SWS_CS_BT2020;
    case YuvMatrix::kSmpte240m:
      return SWS_CS_SMPTE240M;
    case YuvMatrix::kFcc:
      return SWS_CS_FCC;
    case YuvMatrix::kBt709:
      break;
  }
  return SWS_CS_ITU709;
}

}  // namespace cli

// The control's drawings on the Qt clipboard: a recorded drawing replayed onto an image of its
// size (white where nothing is drawn) and onto one PDF page of the same size in points (72 dots
// per inch, so one pixel is one point), both put on the clipboard together.
#ifndef CTQ_CLIPBOARD_H
#define CTQ_CLIPBOARD_H

#include <QByteArray>
#include <QImage>

#include "gfx_recording_device.h"

namespace ctq {

// The MIME type of the PDF on the clipboard.
inline constexpr char kPdfMimeType[] = "application/pdf";

// The drawing as an RGB32 image; a null image for an empty drawing.
QImage drawingImage(const gfx::RecordingDevice &drawing);
// The drawing as a one-page PDF document; empty for an empty drawing.
QByteArray drawingPdf(const gfx::RecordingDevice &drawing);
// Empties the clipboard and puts the drawing on it as an image and a PDF.
void putOnClipboard(const gfx::RecordingDevice &drawing);

}  // namespace ctq

#endif

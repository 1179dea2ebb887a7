// The output writers of the encoder and the records they share: a section's writer pages, each
// with its JBIG2 mask layer (attached once the section is coded) and its JPEG colour layers, and
// the section's dictionary bytes. Three kinds write them: a TIFF-FX document through the
// container library, a raw JBIG2 file (ITU-T T.88 Annex D, sequential organisation) and a PDF 1.4
// file of JBIG2Decode images.
//
// Calling order: open*Writer once; per section newWriterPage and addWriterPage per page,
// setSectionGlobals and attachMaskLayer (and addColorLayer) once the section is coded, then
// writeSection; finally closeWriter, which finishes and closes the output file. Records and data
// handed to the writer belong to it from the successful call on, and are freed once written.
//
// Statuses: 1 out of memory, 10003 a missing or wrong argument (both reported); 2001 a write,
// flush or close of the output that failed (reported once; every later section gives 2001
// without writing, and the close still closes the file, exactly once); 2 a page resolution
// below 1 (PDF); the container library's statuses unchanged (TIFF-FX). A failed output is cut
// back at the close to the length the file had when the writer opened (a file that cannot
// seek, such as a pipe, keeps what was written), and the close gives the failure.
#ifndef NORV_OUTPUT_WRITER_H
#define NORV_OUTPUT_WRITER_H

#include <cstddef>
#include <cstdint>

#include "norv_enc.h"
#include "ovr_context.h"
#include "ovr_file_hooks.h"
#include "qtz_adt.h"
#include "qtz_state.h"

// One layer of a page: its size, place, resolutions and coded data. The mask's data is the
// JBIG2 page data followed by payloadLength bytes of colour-token payload.
struct NorvLayerRecord {
  int32_t width;
  int32_t height;
  int32_t x;
  int32_t y;
  int32_t xdpi;
  int32_t ydpi;
  uint8_t *data;  // from the state's hooks
  size_t length;  // coded bytes, payload not included
  size_t payloadLength;
  uint8_t layer;    // 1 background (JPEG), 2 mask (JBIG2)
  int32_t quality;  // JPEG quality of a background
};

struct NorvWriterPage {
  QtzState *state;
  int32_t width;
  int32_t height;
  NorvLayerRecord *mask;     // none until the section is coded
  QtzAdtList *colourLayers;  // NorvLayerRecord, in the order added
};

struct NorvSectionRecord {
  QtzAdtList *pages;  // NorvWriterPage of the open section
  uint8_t *globals;   // the section's dictionary bytes; none once written
  size_t globalsLength;
};

namespace norvenc {

enum class WriterKind : uint8_t { Tfx, Jbig2File, Pdf };

struct PdfObjects;

}  // namespace norvenc

struct NorvOutputWriter {
  QtzState *state;
  int32_t pagesWritten;
  NorvSectionRecord *section;
  // TIFF-FX: global data indices of every dictionary written so far, in writing order.
  uint32_t *globalIds;
  uint32_t globalCount;
  uint32_t globalCapacity;
  OvrIoContext *ioContext;
  OvrDocHandle *document;
  // The output: the caller's file and functions, and the stream record the container reads.
  NorvOutputIo io;
  OvrFileHooks hooks;
  OvrHookedFile stream;
  norvenc::PdfObjects *pdf;
  norvenc::WriterKind kind;
  int32_t failure;  // first failure that left the file unfinished; nothing more is written
  int64_t start;    // where the output began in the file; -1 when it cannot seek
};

namespace norvenc {

// Opening a writer of each kind over the I/O block (copied; its file must be open for binary
// writing). The file is the writer's from a successful open on, closed by closeWriter.
int32_t openTfxWriter(QtzState *state, const NorvOutputIo *io, NorvOutputWriter **writer);
int32_t openJbig2FileWriter(QtzState *state, const NorvOutputIo *io, NorvOutputWriter **writer);
int32_t openPdfWriter(QtzState *state, const NorvOutputIo *io, NorvOutputWriter **writer);

// Writes the open section by the writer's kind and empties it. final says that the section ended
// final: no later page refers to its dictionaries (the PDF writer then starts a new set of
// globals for the next section; the other kinds do not use it).
int32_t writeSection(NorvOutputWriter *writer, uint8_t final);
// Finishes the file, closes it (also after a failure) and frees the writer.
int32_t closeWriter(NorvOutputWriter *writer);

// Writer pages.
int32_t newWriterPage(NorvOutputWriter *writer, int32_t width, int32_t height,
                      NorvWriterPage **page);
void dropWriterPage(NorvOutputWriter *writer, NorvWriterPage **page);
int32_t addWriterPage(NorvOutputWriter *writer, NorvWriterPage *page);
int32_t getWriterPage(NorvOutputWriter *writer, int32_t k, NorvWriterPage **page);
int32_t attachMaskLayer(NorvWriterPage *page, NorvLayerRecord *record);
int32_t addColorLayer(NorvWriterPage *page, NorvLayerRecord *record);
int32_t setSectionGlobals(NorvOutputWriter *writer, uint8_t *data, size_t length);
void freeLayer(QtzState *state, NorvLayerRecord *record);

// Shared by the three kinds (output_writer.cpp).
// A writer record with an empty section over a copy of the I/O block, after the argument checks
// (the opener checks its caller's out-pointer).
int32_t makeWriter(QtzState *state, const NorvOutputIo *io, WriterKind kind,
                   NorvOutputWriter **writer);
// Frees the writer with its section, pages and tables; the file is not touched.
void freeWriter(NorvOutputWriter *writer);
// Marks the output failed: 2001, reported the first time.
int32_t writeFailed(NorvOutputWriter *writer);
// length bytes through the I/O block's write function; 2001 when not all are written.
int32_t writeBytes(NorvOutputWriter *writer, const void *data, size_t length);
// Closes the file once; 2001 when the close (its final flush) fails. After a failure the file
// is first cut back to where the output began, so that no part of it passes for the document.
int32_t closeFile(NorvOutputWriter *writer);
// Marks the output failed with status (an encoding call that failed): nothing more is written
// and the close cuts the file back and gives the status.
void abandonOutput(NorvOutputWriter *writer, int32_t status);
// After a section is written: every page dropped, the count added to the pages written.
void endSection(NorvOutputWriter *writer);

// pixels x 72 / dpi (dpi at least 1) points as the PDF writer writes a page size: a whole number
// exactly, else six decimals (trailing zeros dropped) one millionth below the exact size.
// Readers multiply the decimal by dpi / 72 in binary floating point and take the ceiling: the
// exact decimal of a fraction such as 0.72 comes out a hair above the pixel count and gains a
// pixel, a millionth below never loses one.
struct Points {
  char text[32];
};
Points pointsOf(int32_t pixels, int32_t dpi);

// The kinds' own section writers and closers.
int32_t writeTfxSection(NorvOutputWriter *writer);
int32_t closeTfxWriter(NorvOutputWriter *writer);
int32_t writeJbig2FileSection(NorvOutputWriter *writer);
int32_t closeJbig2FileWriter(NorvOutputWriter *writer);
int32_t writePdfSection(NorvOutputWriter *writer, uint8_t final);
int32_t closePdfWriter(NorvOutputWriter *writer);

}  // namespace norvenc

#endif

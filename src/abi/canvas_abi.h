// The plain C interface between the engine and the drawing canvas module
// (libtarnwick_canvas.so, Qt GUI), which the engine loads only when a frame or
// a watermark is drawn or a watermark font is loaded. Only plain structs and
// pointers cross it; the module never calls back into the engine except
// through the allocator it is handed.
//
// Pixels: every surface is 32 bits per pixel, bytes blue, green, red, alpha in
// memory (QImage::Format_ARGB32 on a little-endian machine), colour not
// premultiplied by alpha. The module sees row 0 as the top row; the engine
// hands it FreeImage memory and turns the rows over afterwards.
#pragma once

#include <stdint.h>

extern "C" {

#define TW_CANVAS_API_VERSION 2

// Colours are red + 256 * green + 65536 * blue, as in the settings.

struct TwSurface {
    unsigned char* bits;  // first row in memory
    int width;
    int height;
    int pitch;  // bytes from one row to the next, a multiple of 4
};

// Hands the module a zero-filled (fully transparent) surface of the given size.
// Returns 0 when it cannot.
typedef int (*TwAllocateFn)(void* context, int width, int height, TwSurface* out);

struct TwFrameRequest {
    int width, height;             // the picture
    int originX, originY;          // where the target surface lies on the picture
    int left, right, top, bottom;  // side widths, already within the picture
    uint32_t leftColor, rightColor, topColor, bottomColor;
    int opacity;  // 0..255, common to the whole frame
};

struct TwFontRequest {
    const char* face;  // UTF-8
    int pointSize;
    int bold, italic, underline, strikeOut;
};

struct TwTextRequest {
    void* font;        // from loadFont
    const char* text;  // UTF-8, tokens expanded; lines split at "%eol%" (any case)
    int leading;       // extra pixels between lines
    uint32_t textColor;
    int textOpacity;  // 0..255
    uint32_t backColor;
    int backOpacity;  // 0..255
    int antialias;
    int alignment;  // 0 left, 1 centre, 2 right, else 0 px
    int padding;
    int maxPixels;  // a box larger than this is not drawn
};

struct TwImageRequest {
    const char* path;  // UTF-8
    int greyscale;
    int opacity;  // 0..255
    int maxPixels;
};

// Why a picture could not be drawn, filled by the module (a C string).
struct TwFailure {
    char why[192];
};

struct TwCanvasApi {
    int version;
    // Makes the drawing canvas ready on the calling thread (creates the GUI
    // application on the "offscreen" platform when the process has none).
    // 1 when text can be drawn.
    int (*prepare)(void);
    // Draws the part of the frame that falls on `target`, a transparent surface
    // covering the picture from (originX, originY). 1 on success.
    int (*drawFrame)(const TwFrameRequest* request, const TwSurface* target);
    // A font handle, or null when the face is not installed and not a known
    // stand-in for a Windows core font.
    void* (*loadFont)(const TwFontRequest* request);
    void (*releaseFont)(void* font);
    // Text and image layers: the module measures, asks `allocate` for the
    // layer and draws into it. 1 on success.
    int (*drawText)(const TwTextRequest* request, TwAllocateFn allocate, void* context);
    // `failure`, when given, receives the reason a picture cannot be drawn.
    int (*drawImage)(const TwImageRequest* request, TwAllocateFn allocate, void* context,
                     TwFailure* failure);
};

// The module's only exported symbol.
typedef const TwCanvasApi* (*TwCanvasApiFn)(void);
#define TW_CANVAS_API_SYMBOL "tarnwick_canvas_api"

}  // extern "C"

namespace tarnwick {

// x of a line of width `lineWidth` in a text box of width `boxWidth`: alignment
// 0 left (at the padding), 1 centred (halves rounded away from zero), 2 right
// (the padding from the right edge); any other alignment gives 0.
inline int AlignLineX(int lineWidth, int boxWidth, int alignment, int padding) {
    switch (alignment) {
        case 0: return padding;
        case 1: {
            const int d = boxWidth - lineWidth;
            return d >= 0 ? (d + 1) / 2 : (d - 1) / 2;
        }
        case 2: return boxWidth - lineWidth - padding;
        default: return 0;
    }
}

// The canvas module's interface, loading the module on first use (engine
// side, thread-safe). Null when the module cannot be loaded.
const TwCanvasApi* CanvasApi();
}  // namespace tarnwick

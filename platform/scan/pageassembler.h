#pragma once
#include <QByteArray>
#include <QImage>

// Turns the bytes a scanner sends into a page image. No device involved: it is handed the
// frame parameters and the bytes as they arrive.
//   1 bit grey -> QImage::Format_Mono, index 0 white, index 1 black (the device's 1 = black)
//   8/16 bit grey -> Format_Grayscale8 (16-bit samples in host order, high byte kept)
//   8/16 bit colour, one frame or three (red, green, blue) -> Format_RGB888
// Bytes past pixelsPerLine in a line are dropped; a frame of unknown length (lines < 0) takes
// as many whole lines as arrive; a frame that ends short keeps the whole lines it got.
// Lines of a frame of known length go straight into the page as they arrive.
class PageAssembler {
public:
    enum Format { Gray = 0, Rgb = 1, Red = 2, Green = 3, Blue = 4 };  // as the device numbers them

    struct Frame {
        int format = Gray;
        bool lastFrame = true;
        int bytesPerLine = 0;
        int pixelsPerLine = 0;
        int lines = 0;  // -1: not known before the end
        int depth = 8;
    };

    // Starts a frame; raises VbError (device failure) for parameters it cannot take.
    void beginFrame(const Frame &frame);
    void feed(const char *data, qsizetype size);
    // Ends the current frame; true when it was the page's last.
    bool endFrame();
    // The finished page, resolution in dots per inch set on it; the assembler is then empty.
    QImage takePage(int resolution);
    void reset();

private:
    void startImage(int lines);
    void convertLine(int y, const uchar *src);

    Frame m_frame;
    bool m_inFrame = false;
    int m_line = 0;      // lines converted in this frame
    QByteArray m_raw;    // a partial line, or the whole frame when its length is not known
    QImage m_page;
    bool m_done = false;
};

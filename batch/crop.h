#pragma once
// Crop of one page or every page of the redaction editor's document.

class Form;
class QelEzImage;

// Cuts the page (or every page) to the rectangle in pixels, keeps the annotations inside it,
// byte-aligns the result and shows it under the path shown before, on page 1. False after a
// reported error.
bool do_cropImage(Form &form, QelEzImage &control, int left, int top, int width, int height,
                  int page, bool allPages);

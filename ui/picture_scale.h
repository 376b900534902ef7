// Which of the program's pictures a display gets: every picture is drawn at 100, 125, 150 and
// 200 %, and a window shows the variant for its DPI (96 is 100 %).
#pragma once

// The largest of the drawn scales, in percent, that is not larger than the display's scale:
// the pictures fill controls that grow with the display, and one drawn larger than its control
// would be cut. Displays below 100 % get the 100 % pictures.
int picture_scale(unsigned dpi);

// The resource number of `picture` (its 100 % number) as drawn for a display of `dpi`.
int picture_for_dpi(int picture, unsigned dpi);

// The composer's pictures, drawn from the SVG sources compiled into the program: the program
// icon, the splash and About picture, and the backdrop of the MDI area.
#pragma once

#include <QBrush>
#include <QIcon>
#include <QPixmap>

namespace tunemill {

QIcon program_icon();
// The splash and About picture at its natural size (for the screen's pixel ratio).
QPixmap splash_picture(qreal device_pixel_ratio = 1.0);
QBrush mdi_background();

} // namespace tunemill

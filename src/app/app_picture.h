#pragma once

#include <QIcon>
#include <QPixmap>

namespace verifax {

/// The application's picture: a sheet of a document with a green check mark on a blue
/// tile, drawn at `size` × `size` pixels.
QPixmap AppPicture(int size);

/// The application picture in the sizes that window managers and task bars ask for.
QIcon AppIcon();

/// The small magnifier on the inspect button.
QIcon InspectIcon();

}  // namespace verifax

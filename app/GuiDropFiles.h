#pragma once

#include <QStringList>

class QMimeData;

// The local files of a drag, in the order dragged, whose suffix is one of suffixes (compared
// without regard to case, without the dot); every local file when suffixes is empty. Remote
// URLs and anything else dragged are left out.
QStringList DroppedFiles(const QMimeData* data, const QStringList& suffixes);

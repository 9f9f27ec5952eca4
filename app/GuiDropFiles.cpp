#include "app/GuiDropFiles.h"

#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

QStringList DroppedFiles(const QMimeData* data, const QStringList& suffixes)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString file = url.toLocalFile();
        if (file.isEmpty())
            continue;
        if (!suffixes.isEmpty() && !suffixes.contains(QFileInfo(file).suffix(), Qt::CaseInsensitive))
            continue;
        files << file;
    }
    return files;
}

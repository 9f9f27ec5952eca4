#include "app/GuiSelection.h"

#include <QItemSelectionModel>
#include <QListWidget>

void KeepOneSelected(QListWidget* list)
{
    QItemSelectionModel* selection = list->selectionModel();
    QObject::connect(selection, &QItemSelectionModel::selectionChanged, list, [list] {
        QItemSelectionModel* model = list->selectionModel();
        const QModelIndex current = list->currentIndex();
        if (!model->hasSelection() && current.isValid())
            model->select(current, QItemSelectionModel::Select);
    });
}

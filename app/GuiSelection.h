#pragma once

class QListWidget;

// Makes list keep exactly one selected item once it has a current item: a Ctrl+click on the
// selected item, Ctrl+Space, or a click on the empty area below the items would otherwise
// deselect it (the toolkit's single-selection default), leaving buttons that act on the
// selection doing nothing while the item still looks current. A list with no current item
// (a CEL list right after start-up, an empty pane) keeps having no selection.
void KeepOneSelected(QListWidget* list);

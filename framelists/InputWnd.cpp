#include "framelists/InputWnd.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "app/AppContext.h"

TWindInput::TWindInput(AppContext& app)
{
    app.WindInput = this;
    setWindowTitle("Input Dialog");
    setWindowFlags(
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(298, 88);
    move(294, 152);

    EditStr = new QLineEdit(this);
    EditStr->setGeometry(8, 8, 281, 21);
    BtnOK = new QPushButton("OK", this);
    BtnOK->setGeometry(8, 32, 137, 25);
    BtnCancel = new QPushButton("Cancel", this);
    BtnCancel->setGeometry(152, 32, 137, 25);
    for (QPushButton* button : { BtnOK, BtnCancel }) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    CheckSearchDir = new QCheckBox("Search up (if unchecked, search down)", this);
    CheckSearchDir->setGeometry(8, 64, 281, 17);
    setTabOrder(EditStr, BtnOK);
    setTabOrder(BtnOK, BtnCancel);
    setTabOrder(BtnCancel, CheckSearchDir);

    connect(BtnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    FormCreate();
}

void TWindInput::FormShow()
{
    EditStr->setFocus(Qt::OtherFocusReason);
}

void TWindInput::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TWindInput::keyPressEvent(QKeyEvent* event)
{
    // Enter is OK and Escape is Cancel, wherever the focus is in the dialog.
    switch (event->key()) {
    case Qt::Key_Escape:
        event->accept();
        reject();
        return;
    case Qt::Key_Enter:
    case Qt::Key_Return:
        event->accept();
        accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

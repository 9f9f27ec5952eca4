#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
struct AppContext;

// The one-line input dialog shared by Rename and Search of both panes. It checks nothing:
// the caller reads the result, then EditStr and CheckSearchDir, and decides. Its controls
// keep their contents between uses.
class TWindInput : public QDialog {
    Q_OBJECT
public:
    explicit TWindInput(AppContext& app);

    QLineEdit* EditStr = nullptr;
    QPushButton* BtnOK = nullptr;
    QPushButton* BtnCancel = nullptr;
    QCheckBox* CheckSearchDir = nullptr;

    void FormCreate() { }
    // Each showing puts the input focus into EditStr.
    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;
    // Enter closes the dialog as OK does, Escape as Cancel does.
    void keyPressEvent(QKeyEvent* event) override;
};

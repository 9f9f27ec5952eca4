#pragma once

#include <cstdint>

#include <QDialog>

class QCheckBox;
class QListWidget;
class QPushButton;
class QTabWidget;
class QWidget;
struct AppContext;

// The list generator shown by "Merge". It only shows itself with an empty file list on the
// page its caller chose (ListGenKind: 0 the CEL page, anything else the BMP page) and
// closes; nothing fills the list, and nothing reads the check box.
class TWindListGen : public QDialog {
    Q_OBJECT
public:
    explicit TWindListGen(AppContext& app);

    uint8_t ListGenKind = 0;

    QListWidget* ListFiles = nullptr;
    QTabWidget* PagesList = nullptr;
    QWidget* PageCEL = nullptr;
    QWidget* PageBMP = nullptr;
    QCheckBox* CheckCELHead = nullptr;
    QPushButton* BtnListAdd = nullptr;
    QPushButton* BtnListDelete = nullptr;
    QPushButton* BtnListOK = nullptr;
    QPushButton* BtnListCancel = nullptr;

    void FormCreate() { }
    // On every showing: the chosen page, then an empty file list.
    void FormShow();
    // Puts the page chosen by ListGenKind back in front, whatever page the user picked.
    void PagesListChange();
    void FormResize();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool settingPage = false;
};

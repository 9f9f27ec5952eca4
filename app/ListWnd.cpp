#include "app/ListWnd.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>

#include "app/AppContext.h"
#include "app/GuiWindowKind.h"

namespace {
// Design client area; the outer design size is 424 x 306.
constexpr int DesignClientWidth = 424 - FrameExtraWidth;
constexpr int DesignClientHeight = 306 - FrameExtraHeight;
} // namespace

TWindListGen::TWindListGen(AppContext& app)
{
    app.WindListGen = this;
    setWindowTitle("List Generator");
    setWindowFlags(
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    AskForTitleBarOnly(*this);
    resize(DesignClientWidth, DesignClientHeight);
    setMinimumSize(DesignClientWidth, DesignClientHeight);
    move(215, 137);

    ListFiles = new QListWidget(this);
    PagesList = new QTabWidget(this);
    PageCEL = new QWidget();
    PageBMP = new QWidget();
    PagesList->addTab(PageCEL, "CEL");
    PagesList->addTab(PageBMP, "BMP");
    PagesList->setCurrentWidget(PageBMP); // the page active at design
    CheckCELHead = new QCheckBox("Has Header", PageCEL);
    CheckCELHead->move(8, 8);
    BtnListAdd = new QPushButton("Add", this);
    BtnListDelete = new QPushButton("Delete", this);
    BtnListOK = new QPushButton("OK", this);
    BtnListCancel = new QPushButton("Cancel", this);
    for (QPushButton* button : { BtnListAdd, BtnListDelete, BtnListOK, BtnListCancel }) {
        button->resize(113, 25);
        button->setAutoDefault(false);
    }

    connect(PagesList, &QTabWidget::currentChanged, this, [this](int) { PagesListChange(); });
    connect(BtnListOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnListCancel, &QPushButton::clicked, this, &QDialog::reject);
    FormResize();
    FormCreate();
}

void TWindListGen::FormShow()
{
    PagesListChange();
    ListFiles->clear();
}

void TWindListGen::PagesListChange()
{
    if (settingPage)
        return;
    settingPage = true;
    PagesList->setCurrentIndex(ListGenKind == 0 ? 0 : 1);
    settingPage = false;
}

void TWindListGen::FormResize()
{
    // Design: the list 169 wide on the left, the page control 240 x 209 at the right edge,
    // the buttons anchored to the right and bottom edges.
    int dx = width() - DesignClientWidth;
    int dy = height() - DesignClientHeight;
    ListFiles->setGeometry(0, 0, 169 + dx, DesignClientHeight + dy);
    PagesList->setGeometry(176 + dx, 0, 240, 209 + dy);
    BtnListAdd->move(176 + dx, 208 + dy);
    BtnListDelete->move(296 + dx, 208 + dy);
    BtnListOK->move(176 + dx, 240 + dy);
    BtnListCancel->move(296 + dx, 240 + dy);
}

void TWindListGen::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TWindListGen::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    FormResize();
}

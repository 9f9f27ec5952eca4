#pragma once

// The rig shared by the viewer and palette window tests: both windows over scripted dialogs in
// a temporary start folder.

#include <memory>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include "app/AppContext.h"
#include "gui/GuiTestSupport.h"
#include "palette/PalWnd.h"
#include "viewer/ViewerWnd.h"

// A temporary start folder (with a settings file when settings is not empty), the scripted
// dialogs, the shared state, the viewer and the palette window, both shown offscreen. The
// windows go before the state they use.
struct ViewPalRig {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<AppContext> app;
    std::unique_ptr<TWindView> view;
    std::unique_ptr<TWindPal> pal;

    explicit ViewPalRig(const QByteArray& settings)
    {
        if (!settings.isEmpty()) {
            QFile file(dir.filePath("Vornix.ini"));
            if (file.open(QIODevice::WriteOnly))
                file.write(settings);
        }
        app = std::make_unique<AppContext>(dialogs, dir.path().toStdString());
        view = std::make_unique<TWindView>(*app);
        pal = std::make_unique<TWindPal>(*app);
        view->show();
        pal->show();
    }
};

#include "Program.h"

#include "android/AdbKillServerThread.h"
#include "model/DataFolder.h"
#include "model/MessageText.h"
#include "platform/adb/AdbKey.h"
#include "platform/desktop/PowerAssertion.h"
#include "platform/sqlite/Sqlite3DB.h"
#include "shell/kit/ProductInfo.h"
#include "shell/kit/Tips.h"

#include <QApplication>
#include <QFileInfo>
#include <QTranslator>

Program::Hooks Program::defaultHooks()
{
    Hooks hooks;
    hooks.wrapperVersion = [] { return sqlite_qt_version(); };
    hooks.powerAssertion = []() -> std::shared_ptr<void> {
        auto assertion = std::make_shared<PowerAssertion>(QStringLiteral("NoDisplaySleepAssertion"),
                                                          QStringLiteral("Describe Activity Type"));
        if (!assertion->isHeld())
            return nullptr;
        return assertion;
    };
    hooks.adbWatcher = [] { return std::make_unique<AdbKillServerThread>(nullptr); };
    return hooks;
}

int Program::exec(const Hooks &hooks)
{
    // Declared in the order of construction, so that they are released in the reverse order.
    const std::shared_ptr<void> power = hooks.powerAssertion ? hooks.powerAssertion() : nullptr;

    QTranslator translator;
    if (translator.load(QStringLiteral(":/en.qm")))
        QCoreApplication::installTranslator(&translator);

    const int version = hooks.wrapperVersion ? hooks.wrapperVersion() : sqlite_qt_version();
    if (version != kWrapperVersion) {
        Tips::error(QStringLiteral("invalid libsqlite_qt."));
        QCoreApplication::removeTranslator(&translator);
        return 1;
    }

    int code = 0;
    {
        std::unique_ptr<QThread> watcher = hooks.adbWatcher ? hooks.adbWatcher() : nullptr;
        if (watcher)
            watcher->start(QThread::InheritPriority);
        // Phones trust the key they were once shown; it lives with the rest of our data.
        AdbKey::setStoreFolder(g_dataSaveDir().absolutePath());
        {
            MainWindow window(nullptr, hooks.window);
            if (auto *killer = qobject_cast<AdbKillServerThread *>(watcher.get()))
                QObject::connect(killer, &AdbKillServerThread::adbServerEnded, &window.usbPoll(),
                                 &AdbPoll::retryFailedNow);
            window.setVisible(true);
            if (hooks.windowShown)
                hooks.windowShown(window);

            const QFileInfo base(g_defaultSaveDirPath());
            if (!base.isWritable()) {
                const QString link = ProductInfo::pageUrl(
                    QStringLiteral("/tutorial/access-iphone-backups-on-mac-os-mojave.html"));
                Tips::warning(MessageText::rich(
                    MessageText::escaped(QObject::tr("Please allow Ferrovantis to access storage on Mac. ")) +
                    QStringLiteral("<a href=\"%1\">How to?</a>").arg(link.toHtmlEscaped())));
            }
            // A redirect the user wrote that cannot be followed: the data is not where they meant.
            const QString unusable = g_unusableRedirectTarget();
            if (!unusable.isEmpty())
                Tips::warning(
                    QCoreApplication::translate("Program", "IDS_DATA_FOLDER_REDIRECT_UNUSABLE_%1_%2_%3")
                        .arg(g_dataSaveDirRedirectFile(), unusable, g_dataSaveDir().absolutePath()));
            code = QApplication::exec();
        }
        // The watcher's destructor stops and joins it.
        watcher.reset();
    }
    QCoreApplication::removeTranslator(&translator);
    return code;
}

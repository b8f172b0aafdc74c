#include "shell/kit/FileDialogs.h"
#include "shell/kit/FramelessDialog.h"
#include "shell/kit/StyleSheet.h"
#include "shell/kit/WinMovable.h"

#include "TestMain.h"

#include <QMouseEvent>
#include <QTemporaryDir>
#include <QWidget>

namespace {
// Counts the mouse presses that reach the window itself.
class Window : public QWidget
{
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent *e) override
    {
        ++presses;
        QWidget::mousePressEvent(e);
    }
};

void send(QWidget *w, QEvent::Type type, QPoint pos, Qt::MouseButton button)
{
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

class FixedChooser : public FileDialogs
{
public:
    QString openFileName(QWidget *, const QString &, const QString &dir, const QString &filter,
                         QString *selected, QFileDialog::Options) override
    {
        if (selected)
            *selected = filter;
        return dir + QStringLiteral("/chosen.vcf");
    }
};
} // namespace

class TestFramelessStyle : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_missingFirst;
    QString m_firstRead;

private slots:
    // The style sheet cache lives as long as the process, so the first reads happen here, before any
    // test function can fill it, whichever functions run and in whatever order.
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_missingFirst = getStyleSheet(m_dir.filePath(QStringLiteral("missing.css")));

        QFile file(m_dir.filePath(QStringLiteral("nul.css")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("QLabel{color:red;}\0QLabel{color:blue;}", 38));
        file.close();
        m_firstRead = getStyleSheet(file.fileName());
    }

    void styleSheetIsReadOnceAndCached()
    {
        QCOMPARE(m_missingFirst, QString());
        QCOMPARE(m_firstRead, QStringLiteral("QLabel{color:red;}"));
        // Once filled the cache answers whatever the path.
        QCOMPARE(getStyleSheet(QStringLiteral(":/res/style.css")), QStringLiteral("QLabel{color:red;}"));
        QCOMPARE(getStyleSheet(m_dir.filePath(QStringLiteral("missing.css"))),
                 QStringLiteral("QLabel{color:red;}"));
    }

    void embeddedStyleSheetHasTheRules()
    {
        QFile file(QStringLiteral(":/res/style.css"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray css = file.readAll();
        QVERIFY(css.contains("\r\n"));
        for (const char *needle :
             {"#F5D0C9", "#EE9987", ":res/subwin-bg.png", ":res/main-bg.png", ":res/drop-arrow.png",
              "#lbTitle", "#ProgressForm", "#LoadItunesBackupDlg", "#treeMain", "#lbTotal", "#FF9237"})
            QVERIFY2(css.contains(needle), needle);
        for (const char *picture : {":/res/subwin-bg.png", ":/res/main-bg.png", ":/res/drop-arrow.png"})
            QVERIFY2(QFile::exists(QString::fromLatin1(picture)), picture);
    }

    void dragMovesTheWindow()
    {
        Window w;
        w.setGeometry(100, 100, 200, 100);
        WinMovable movable(&w);

        send(&w, QEvent::MouseButtonPress, QPoint(10, 20), Qt::LeftButton);
        QCOMPARE(w.presses, 1); // the filter never consumes
        QVERIFY(movable.isDragging());
        send(&w, QEvent::MouseMove, QPoint(15, 27), Qt::LeftButton);
        QCOMPARE(w.geometry().topLeft(), QPoint(105, 107));
        send(&w, QEvent::MouseButtonRelease, QPoint(15, 27), Qt::LeftButton);
        QVERIFY(!movable.isDragging());
        send(&w, QEvent::MouseMove, QPoint(40, 40), Qt::NoButton);
        QCOMPARE(w.geometry().topLeft(), QPoint(105, 107));
    }

    void pressesThatStartNoDrag()
    {
        Window w;
        w.setGeometry(100, 100, 200, 100);
        WinMovable movable(&w);

        send(&w, QEvent::MouseButtonPress, QPoint(30, 30), Qt::RightButton);
        QCOMPARE(movable.pressPos(), QPoint(30, 30));
        send(&w, QEvent::MouseMove, QPoint(50, 50), Qt::RightButton);
        QCOMPARE(w.geometry().topLeft(), QPoint(100, 100));

        // The very corner reads as "no press".
        send(&w, QEvent::MouseButtonPress, QPoint(0, 0), Qt::LeftButton);
        send(&w, QEvent::MouseMove, QPoint(20, 20), Qt::LeftButton);
        QCOMPARE(w.geometry().topLeft(), QPoint(100, 100));
    }

    void framelessConvention()
    {
        FramelessDialog dialog;
        FramelessDialog::applyFrameless(&dialog, QStringLiteral("#x{}"));
        QCOMPARE(int(dialog.windowFlags() & (Qt::Dialog | Qt::FramelessWindowHint)), 0x803);
        QVERIFY(dialog.styleSheet().endsWith(QStringLiteral("#x{}")));
    }

    void fileChooserCanBeReplaced()
    {
        auto previous = FileDialogs::install(std::make_unique<FixedChooser>());
        QString selected;
        QCOMPARE(FileDialogs::getOpenFileName(nullptr, QString(), QStringLiteral("/tmp"),
                                              QStringLiteral("vCard (*.vcf)"), &selected),
                 QStringLiteral("/tmp/chosen.vcf"));
        QCOMPARE(selected, QStringLiteral("vCard (*.vcf)"));
        FileDialogs::install(std::move(previous));
    }
};

TARNWICK_TEST_MAIN(TestFramelessStyle)
#include "tst_framelessstyle.moc"

#pragma once

// Shared by the tests of the small chooser dialogs.

#include "shell/kit/MessageBoxResponder.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

#include <functional>
#include <memory>

namespace fixture {

// Plays `user` on `dialog` once its event loop runs; a dialog still open after that is cancelled
// so that a wrong expectation fails instead of hanging.
template<typename Dialog>
void playOnceShown(Dialog &dialog, const std::function<void(Dialog &)> &user, bool *leftOpen)
{
    QTimer::singleShot(0, &dialog, [&dialog, user, leftOpen] {
        user(dialog);
        if (dialog.isVisible()) {
            if (leftOpen)
                *leftOpen = true;
            dialog.reject();
        }
    });
}

// Presses one of the dialog's push buttons by its object name.
inline void press(QWidget &dialog, const char *button)
{
    QTest::mousePress(dialog.findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
}

// Closes a chooser the way a user who gives up does: the Escape key, or its "btnClose" button.
inline void giveUp(QWidget &dialog, bool escape)
{
    if (escape)
        QTest::keyClick(&dialog, Qt::Key_Escape);
    else
        press(dialog, "btnClose");
}

// Plays `user` on the modal dialog that the code under test opens next, once its loop runs.
inline void playOnNextModal(const std::function<void(QWidget &)> &user)
{
    QTimer::singleShot(0, [user] {
        QWidget *dialog = QApplication::activeModalWidget();
        QVERIFY2(dialog, "no dialog came up");
        user(*dialog);
    });
}

// Answers the Android target chooser that comes up next with the entry named `target` (empty:
// gives up) and records the names it offered.
inline void chooseTarget(const QString &target, QStringList *offered)
{
    playOnNextModal([target, offered](QWidget &dialog) {
        auto *box = dialog.findChild<QComboBox *>(QStringLiteral("cbDevice"));
        QVERIFY(box);
        for (int i = 0; i < box->count(); ++i)
            *offered << box->itemText(i);
        if (target.isEmpty())
            return giveUp(dialog, false);
        box->setCurrentIndex(box->findText(target));
        press(dialog, "btnOK");
    });
}

// The English texts in place, and every message box answered with OK and kept in `boxes`.
class EnglishWithRecordedBoxes
{
protected:
    // Call from initTestCase(); records a test failure when the texts cannot be loaded.
    void installEnglishAndBoxRecorder()
    {
        QVERIFY(translator.load(QStringLiteral(":/en.qm")));
        QCoreApplication::installTranslator(&translator);
        responder = std::make_unique<MessageBoxResponder::Scope>([this](const MessageBoxRequest &r) {
            boxes << r;
            return int(QMessageBox::Ok);
        });
    }

    QList<MessageBoxRequest> boxes;

private:
    QTranslator translator;
    std::unique_ptr<MessageBoxResponder::Scope> responder;
};

} // namespace fixture

// The edit dialog on a contact of N phone numbers (N = 1,000, 2,000 and 4,000), as the edit action
// drives it: opening (the dialog built, filled and shown, its layout done) and a one-row Apply (one
// number changed, Apply pressed, the change list read, the dialog closed and destroyed). Best of a
// few runs each, in the GUI thread's own time.
//
// Targets: the time per row at 4,000 at most 1.5 times the time per row at 1,000, for both, so that
// the dialog grows no faster than its rows; and, at 4,000 rows, opening no slower and a one-row
// Apply at most half as slow as a floor measured in the same run (one floor run after each run of
// the dialog): one bare line edit per number, built and shown in a scroll area of the dialog's
// size. That floor is the least a form that made widgets for every row could cost; a dialog that
// builds a combo, a line edit and a button for every row costs some forty times as much, while one
// that builds only the rows near the view opens in well under the floor's time.

#include "BenchTargets.h"
#include "contactui/ContactEditor.h"
#include "contactui/EditContactForm.h"
#include "contactui/GenericEntitiesEditor.h"
#include "contactui/Ui_EditContactForm.h"
#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/LocalDbCombineRule.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

// A stored contact as the list's reader gives it: every value a text, every entry with its row id.
pim::_Contact contactWithPhones(int n)
{
    pim::_Contact c(1, QString(), QStringLiteral("Reception Desk"));
    pim::Entity name(1, QString());
    for (const QString &key : {pim::NameKey::Prefix, pim::NameKey::MiddleName, pim::NameKey::Suffix})
        name.values[key] = QString();
    name.values[pim::NameKey::FullName] = QStringLiteral("Reception Desk");
    name.values[pim::NameKey::GivenName] = QStringLiteral("Reception");
    name.values[pim::NameKey::FamilyName] = QStringLiteral("Desk");
    c.entities[pim::ENTITY_NAME] << name;
    for (int i = 0; i < n; ++i) {
        pim::Entity phone(quint64(i + 2), QString());
        phone.values[pim::ValueKey::Value] = QStringLiteral("+44 20 %1").arg(i, 8, 10, QLatin1Char('0'));
        phone.values[pim::ValueKey::SubType] = QString::number(i % 4 + 1);
        phone.values[pim::ValueKey::Label] = QString();
        c.entities[pim::ENTITY_PHONE] << phone;
    }
    return c;
}

// Time spent by this thread. The dialog works on the GUI thread alone and waits for nothing, so on a
// quiet machine this is its wall time; on a busy one it is not stretched by other processes.
double threadSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

struct Timing
{
    double open = 1e9;
    double openWall = 1e9;
    double apply = 1e9;
    // The parts of the best Apply: the dialog closing, the change list, the dialog destroyed.
    double close = 0;
    double list = 0;
    double destroy = 0;
    int changes = -1;
};

void settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

// The floor: as many bare line edits as the contact has numbers, each showing its number, in a
// scroll area shown at the dialog's size; built, shown and laid out, then destroyed.
struct Floor
{
    double open = 1e9;
    double destroy = 1e9;
};

// One run of the floor, its best kept in `best`.
void measureFloor(const pim::_Contact &contact, Floor &best)
{
    {
        double start = threadSeconds();
        auto area = std::make_unique<QScrollArea>();
        area->resize(500, 660);
        auto *content = new QWidget(area.get());
        auto *layout = new QVBoxLayout(content);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        for (const pim::Entity &phone : contact.entities.value(pim::ENTITY_PHONE)) {
            auto *edit = new QLineEdit(content);
            edit->setText(phone.values.value(pim::ValueKey::Value).toString());
            layout->addWidget(edit);
        }
        area->setWidget(content);
        area->show();
        settle();
        best.open = std::min(best.open, threadSeconds() - start);
        start = threadSeconds();
        area.reset();
        settle();
        best.destroy = std::min(best.destroy, threadSeconds() - start);
    }
}

// With a floor, each run of the dialog is followed by one of the floor, so that both meet the same
// state of a shared machine.
Timing measure(const pim::_Contact &contact, int runs, Floor *floor = nullptr)
{
    LocalDbCombineRule rule;
    Timing best;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer wall;
        wall.start();
        double start = threadSeconds();
        auto form = std::make_unique<EditContactForm>(&contact, nullptr, nullptr);
        form->show();
        settle();
        best.open = std::min(best.open, threadSeconds() - start);
        best.openWall = std::min(best.openWall, double(wall.nsecsElapsed()) / 1e9);

        GenericEntitiesEditor *phones = form->form()->wdEditContact->phoneEditor;
        phones->row(int(phones->rows().size() / 2)).txtValue->setText(QStringLiteral("+44 20 99999999"));
        settle();

        start = threadSeconds();
        emit form->form()->btnSave->pressed();
        settle();
        const double closed = threadSeconds() - start;
        const QList<ContactChanges::_ChangeData> changes = form->getChanges(&rule, contact);
        const double listed = threadSeconds() - start;
        form.reset();
        settle();
        const double apply = threadSeconds() - start;
        if (apply < best.apply) {
            best.apply = apply;
            best.close = closed;
            best.list = listed - closed;
            best.destroy = apply - listed;
        }
        best.changes = int(changes.size());
        if (floor)
            measureFloor(contact, *floor);
    }
    return best;
}

// Paging through a shown dialog from the top to the end, one page a step, each step's paint done:
// the whole walk and the slowest step. Printed, not a target: it shows what building rows as they
// come into view costs the user.
struct Paging
{
    double total = 0;
    double worstStep = 0;
    int steps = 0;
};

Paging measurePaging(const pim::_Contact &contact)
{
    Paging out;
    auto form = std::make_unique<EditContactForm>(&contact, nullptr, nullptr);
    form->show();
    settle();
    QScrollBar *bar = form->form()->wdEditContact->verticalScrollBar();
    for (int at = bar->pageStep(); at < bar->maximum() + bar->pageStep(); at += bar->pageStep()) {
        const double start = threadSeconds();
        bar->setValue(std::min(at, bar->maximum()));
        form->form()->wdEditContact->viewport()->repaint();
        settle();
        const double step = threadSeconds() - start;
        out.total += step;
        out.worstStep = std::max(out.worstStep, step);
        ++out.steps;
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // The change list logs each change it finds; what is measured is the dialog.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    BenchTargets targets(QStringLiteral("bench_editor"));
    // An argument picks one size, for profiling it alone.
    const int picked = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 0;

    std::printf("bench_editor: the edit dialog on one contact of N phone numbers\n");
    std::printf("GUI thread's time, best of runs (opening also as wall time)\n");
    std::printf("%8s %10s %10s %10s %12s %12s %24s %8s\n", "N", "open ms", "(wall)", "apply ms",
                "open us/row", "apply us/row", "apply: close/list/free ms", "changes");
    double openPerRow1k = 0;
    double applyPerRow1k = 0;
    for (const int n : {1000, 2000, 4000}) {
        if (picked > 0 && n != picked)
            continue;
        Floor floor;
        const Timing t = measure(contactWithPhones(n), n == 2000 ? 3 : 5, n == 4000 ? &floor : nullptr);
        std::printf("%8d %10.0f %10.0f %10.0f %12.1f %12.1f %10.0f/%5.0f/%6.0f %8d\n", n, t.open * 1e3,
                    t.openWall * 1e3, t.apply * 1e3, t.open / n * 1e6, t.apply / n * 1e6, t.close * 1e3,
                    t.list * 1e3, t.destroy * 1e3, t.changes);
        std::fflush(stdout);
        if (t.changes != 1)
            targets.failed(QStringLiteral("one-row Apply at %1 rows").arg(n),
                           QStringLiteral("%1 changes instead of 1").arg(t.changes));
        if (n == 1000) {
            openPerRow1k = t.open / n;
            applyPerRow1k = t.apply / n;
        } else if (n == 4000) {
            std::printf("floor at %d rows (bare line edits): built and shown %.0f ms, destroyed %.0f ms\n", n,
                        floor.open * 1e3, floor.destroy * 1e3);
            const Paging paging = measurePaging(contactWithPhones(n));
            std::printf("paging through %d rows: %d pages, %.0f ms in all, slowest page %.1f ms\n", n,
                        paging.steps, paging.total * 1e3, paging.worstStep * 1e3);
            targets.atMost(QStringLiteral("open at 4,000 rows / the floor built and shown"),
                           t.open / floor.open, 1.0);
            targets.atMost(QStringLiteral("one-row Apply at 4,000 rows / the floor built and shown"),
                           t.apply / floor.open, 0.5);
            targets.atMost(QStringLiteral("open: time per row at 4,000 rows / at 1,000"),
                           (t.open / n) / openPerRow1k, 1.5);
            targets.atMost(QStringLiteral("one-row Apply: time per row at 4,000 rows / at 1,000"),
                           (t.apply / n) / applyPerRow1k, 1.5);
        }
    }
    return targets.finish();
}

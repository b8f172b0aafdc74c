#include "ExportAction.h"

#include "ContactSelection.h"
#include "contactui/ContactDisplayer.h"
#include "fileio/ContactsPrinter.h"
#include "fileio/ExportToFileThread.h"
#include "shell/kit/ActionGuard.h"
#include "shell/kit/FileDialogs.h"
#include "shell/kit/ProgressForm.h"
#include "shell/kit/Tips.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QPrintPreviewDialog>
#include <QPrinter>

namespace {

HtmlExport::Formatters paneFormatters()
{
    HtmlExport::Formatters f;
    f.phone = &ContactDisplayer::g_phoneDisplay;
    f.email = &ContactDisplayer::g_emailDisplay;
    f.event = &ContactDisplayer::g_eventDisplay;
    f.im = &ContactDisplayer::g_imDisplay;
    f.org = &ContactDisplayer::g_orgDisplay;
    f.rel = &ContactDisplayer::g_relDisplay;
    f.addr = &ContactDisplayer::g_addrDisplay;
    f.url = &ContactDisplayer::g_urlDisplay;
    f.notes = &ContactDisplayer::g_notesDisplay;
    return f;
}

const ExportToFileThread::TYPE kTypes[] = {ExportToFileThread::TYPE_VCARD, ExportToFileThread::TYPE_CSV,
                                           ExportToFileThread::TYPE_TXT, ExportToFileThread::TYPE_HTML,
                                           ExportToFileThread::TYPE_HTML};
const int kPdfRow = 5;

} // namespace

ExportAction::ExportAction(ContactSelection &selection, QWidget *dialogParent, QObject *workerParent)
    : m_selection(selection)
    , m_dialogParent(dialogParent)
    , m_workerParent(workerParent)
{}

QStringList ExportAction::filters()
{
    return {QStringLiteral("VCard Files(*.vcf)"), QStringLiteral("CSV Files(*.csv)"),
            QStringLiteral("Text Files(*.txt)"),  QStringLiteral("HTML files(*.html)"),
            QStringLiteral("Word files(*.doc)"),  QStringLiteral("PDF files(*.pdf)")};
}

QStringList ExportAction::suffixes()
{
    return {QStringLiteral(".vcf"),  QStringLiteral(".csv"), QStringLiteral(".txt"),
            QStringLiteral(".html"), QStringLiteral(".doc"), QStringLiteral(".pdf")};
}

void ExportAction::exportContacts(const QList<pim::_Contact> &contacts)
{
    ActionGuard::run([&] {
        const QStringList choices = filters();
        QString selected;
        const QString proposed = QDir::home().absoluteFilePath(
            QStringLiteral("contacts(%1)")
                .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"))));
        QString path = FileDialogs::getSaveFileName(m_dialogParent, QString(), proposed,
                                                    choices.join(QStringLiteral(";;")), &selected);
        if (path.isEmpty())
            return;
        const int row = int(choices.indexOf(selected));
        if (row < 0)
            return;
        if (QFileInfo(path).suffix().isEmpty()) {
            path += suffixes().at(row);
            // The save dialog asked about the name without the suffix only.
            if (QFileInfo::exists(path) && !Tips::question(tr("IDS_REPLACE_EXISTING_FILE_%1").arg(path)))
                return;
        }

        if (row == kPdfRow) {
            ContactsPrinter printer;
            const int cards = printer.printToPDF(contacts, path);
            if (cards < 0)
                Tips::error(tr("IDS_PDF_NOT_WRITTEN_%1").arg(path));
            else
                Tips::info(tr("IDS_SUC_EXPORT_%1_CONTACTS_TO_FILE").arg(cards));
            return;
        }

        ProgressForm progress(tr("IDS_STARTING_EXPORT_CONTACTS_TO_FILE"));
        ExportToFileThread worker(contacts, kTypes[row], path, &progress, m_workerParent);
        worker.setHtmlFormatters(paneFormatters());
        progress.runWorker(worker);
    });
}

void ExportAction::printContacts(const QList<pim::_Contact> &contacts)
{
    ActionGuard::run([&] {
        ContactsPrinter cards;
        cards.setContacts(contacts);
        QPrinter printer(QPrinter::ScreenResolution);
        ContactsPrinter::setUpPrinter(printer);
        printer.setOutputFormat(QPrinter::NativeFormat);
        if (!printer.isValid())
            printer.setOutputFormat(QPrinter::PdfFormat);
        QPrintPreviewDialog preview(&printer);
        preview.setFixedSize(900, 700);
        preview.setWindowModality(Qt::ApplicationModal);
        preview.setModal(true);
        preview.setWindowTitle(QCoreApplication::translate("ContactsPrinter", "IDS_PRINT_CONTACTS"));
        QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &cards,
                         &ContactsPrinter::onPaintRequested);
        preview.exec();
    });
}

void ExportAction::contactExport()
{
    ActionGuard::run([&] { exportContacts(m_selection.selectedContacts()); });
}

void ExportAction::contactPrint()
{
    ActionGuard::run([&] { printContacts(m_selection.selectedContacts()); });
}

void ExportAction::treeExport()
{
    ActionGuard::run([&] {
        const ContactSelection::Node node = m_selection.currentNode();
        QList<pim::_Contact> contacts;
        if (node.dbNode && m_selection.readNodeContacts(node, contacts))
            exportContacts(contacts);
    });
}

void ExportAction::treePrint()
{
    ActionGuard::run([&] {
        const ContactSelection::Node node = m_selection.currentNode();
        QList<pim::_Contact> contacts;
        if (node.dbNode && m_selection.readNodeContacts(node, contacts))
            printContacts(contacts);
    });
}

void ExportAction::fileExport()
{
    ActionGuard::run([&] { m_selection.either([this] { contactExport(); }, [this] { treeExport(); }); });
}

void ExportAction::filePrint()
{
    ActionGuard::run([&] { m_selection.either([this] { contactPrint(); }, [this] { treePrint(); }); });
}

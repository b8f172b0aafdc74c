#include "ContactEditor.h"

#include "AddrEntitiesEditor.h"
#include "DateEntitiesEditor.h"
#include "GenericEntitiesEditor.h"
#include "IMEntitiesEditor.h"
#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/TypeMaps.h"
#include "shell/kit/FileDialogs.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QHBoxLayout>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {

constexpr int kPhotoSide = 64;
constexpr int kStoredPhotoSide = 320;

QString text(const pim::Entity &e, const QString &key)
{
    return e.values.value(key).toString();
}

// Only the named format: left to itself the reader would take a GIF for a JPEG by its content.
QImage readAs(QIODevice &device, const char *format)
{
    device.seek(0);
    QImageReader reader(&device, format);
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

// JPEG first, then PNG.
QImage decodePicture(QIODevice &device)
{
    QImage image = readAs(device, "JPEG");
    return image.isNull() ? readAs(device, "PNG") : image;
}

QImage decodePicture(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return decodePicture(buffer);
}

QLineEdit *lineEdit(QWidget *parent, QVBoxLayout *layout, const QString &placeholder)
{
    auto *edit = new QLineEdit(parent);
    edit->setPlaceholderText(placeholder);
    layout->addWidget(edit);
    return edit;
}

} // namespace

// --- single-entry editors ---

void ContactEditor::_NameEdit::fillEntity(const pim::Entity &e)
{
    id = e.id;
    srcId = e.srcId;
    txtPrefix->setText(text(e, pim::NameKey::Prefix));
    txtFirstName->setText(text(e, pim::NameKey::GivenName));
    txtMiddleName->setText(text(e, pim::NameKey::MiddleName));
    txtLastName->setText(text(e, pim::NameKey::FamilyName));
    txtSuffix->setText(text(e, pim::NameKey::Suffix));
}

pim::Entity ContactEditor::_NameEdit::toEntity() const
{
    pim::Entity e(id, srcId);
    e.values[pim::NameKey::Prefix] = txtPrefix->text().trimmed();
    e.values[pim::NameKey::GivenName] = txtFirstName->text().trimmed();
    e.values[pim::NameKey::MiddleName] = txtMiddleName->text().trimmed();
    e.values[pim::NameKey::FamilyName] = txtLastName->text().trimmed();
    e.values[pim::NameKey::Suffix] = txtSuffix->text().trimmed();
    e.values[pim::NameKey::FullName] = e.fullName();
    return e;
}

ContactEditor::_PhotoEdit::_PhotoEdit() = default;

void ContactEditor::_PhotoEdit::fillEntity(const pim::Entity &e)
{
    id = e.id;
    srcId = e.srcId;
    deleted = false;
    setPhoto(e.values.value(pim::PhotoKey::Image).toByteArray());
}

pim::Entity ContactEditor::_PhotoEdit::toEntity() const
{
    pim::Entity e(id, srcId);
    e.values[pim::PhotoKey::Image] = photoData;
    e.values[pim::PhotoKey::Hash] = e.photoHash();
    return e;
}

void ContactEditor::_PhotoEdit::setPhoto(QByteArray bytes)
{
    photoData = bytes;
    const QImage image = decodePicture(bytes);
    if (image.isNull())
        return;
    lbPhoto->setPixmap(QPixmap::fromImage(image.scaledToWidth(kPhotoSide, Qt::FastTransformation)));
}

void ContactEditor::_PhotoEdit::reset()
{
    photoData.clear();
    deleted = true;
    const QPixmap placeholder(QStringLiteral(":res/empty_contact.png"));
    lbPhoto->setPixmap(placeholder.isNull() ? placeholder
                                            : placeholder.scaledToWidth(kPhotoSide, Qt::FastTransformation));
}

void ContactEditor::_NicknameEdit::fillEntity(const pim::Entity &e)
{
    id = e.id;
    srcId = e.srcId;
    txtNickname->setText(text(e, pim::ValueKey::Value));
}

pim::Entity ContactEditor::_NicknameEdit::toEntity() const
{
    pim::Entity e(id, srcId);
    e.values[pim::ValueKey::SubType] = int(pim::NICKNAME_DEFAULT);
    e.values[pim::ValueKey::Value] = txtNickname->text().trimmed();
    return e;
}

void ContactEditor::_OrgEdit::fillEntity(const pim::Entity &e)
{
    id = e.id;
    srcId = e.srcId;
    txtJobTitle->setText(text(e, pim::OrgKey::JobTitle));
    txtDepartment->setText(text(e, pim::OrgKey::Department));
    txtCompany->setText(text(e, pim::OrgKey::Company));
}

pim::Entity ContactEditor::_OrgEdit::toEntity() const
{
    pim::Entity e(id, srcId);
    e.values[pim::OrgKey::JobTitle] = txtJobTitle->text().trimmed();
    e.values[pim::OrgKey::Department] = txtDepartment->text().trimmed();
    e.values[pim::OrgKey::Company] = txtCompany->text().trimmed();
    return e;
}

void ContactEditor::_NotesEdit::fillEntity(const pim::Entity &e)
{
    id = e.id;
    srcId = e.srcId;
    // Plain text: a note that looks like markup must come back with its characters.
    txtNotes->setPlainText(text(e, pim::NoteKey::Text));
}

pim::Entity ContactEditor::_NotesEdit::toEntity() const
{
    pim::Entity e(id, srcId);
    e.values[pim::NoteKey::Text] = txtNotes->toPlainText().trimmed();
    return e;
}

// --- the form ---

ContactEditor::ContactEditor(QWidget *parent)
    : QScrollArea(parent)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    wdContent = new QWidget(this);
    QPalette pal = palette();
    pal.setBrush(QPalette::All, QPalette::Window, QBrush(QColor(0, 255, 0, 0)));
    wdContent->setPalette(pal);
    setPalette(pal);

    mainLayout = new QVBoxLayout(wdContent);
    mainLayout->setSizeConstraint(QLayout::SetFixedSize);
    mainLayout->setContentsMargins(20, 10, 20, 10);
    mainLayout->setSpacing(3);

    wdHeader = new QWidget(wdContent);
    auto *headerLayout = new QHBoxLayout(wdHeader);
    headerLayout->setContentsMargins(0, 0, 0, 0);

    auto *photoColumn = new QWidget(wdHeader);
    auto *photoLayout = new QVBoxLayout(photoColumn);
    photoLayout->setContentsMargins(0, 0, 0, 0);
    photoEdit.lbPhoto = new QLabel(photoColumn);
    photoEdit.lbPhoto->setAccessibleName(QStringLiteral("lbPhoto"));
    photoEdit.lbPhoto->setFixedSize(kPhotoSide, kPhotoSide);
    photoEdit.lbPhoto->installEventFilter(this);
    photoEdit.lbPhoto->setCursor(Qt::PointingHandCursor);
    photoEdit.reset();
    photoLayout->addWidget(photoEdit.lbPhoto, 0, Qt::AlignLeft | Qt::AlignTop);
    auto *deletePhoto = new QLabel(tr("<a href=\"#\">Delete Photo</a>"), photoColumn);
    connect(deletePhoto, &QLabel::linkActivated, this, &ContactEditor::resetPhoto);
    photoLayout->addWidget(deletePhoto, 0, Qt::AlignHCenter);
    headerLayout->addWidget(photoColumn, 0, Qt::AlignLeft | Qt::AlignTop);

    auto *nameColumn = new QWidget(wdHeader);
    auto *nameLayout = new QVBoxLayout(nameColumn);
    nameLayout->setContentsMargins(0, 0, 0, 0);
    nameEdit.txtPrefix = lineEdit(nameColumn, nameLayout, tr("Prefix"));
    nameEdit.txtFirstName = lineEdit(nameColumn, nameLayout, tr("First Name"));
    nameEdit.txtMiddleName = lineEdit(nameColumn, nameLayout, tr("Middle Name"));
    nameEdit.txtLastName = lineEdit(nameColumn, nameLayout, tr("Last Name"));
    nameEdit.txtSuffix = lineEdit(nameColumn, nameLayout, tr("Suffix"));
    nicknameEdit.txtNickname = lineEdit(nameColumn, nameLayout, tr("Nickname"));
    orgEdit.txtJobTitle = lineEdit(nameColumn, nameLayout, tr("Job Title"));
    orgEdit.txtDepartment = lineEdit(nameColumn, nameLayout, tr("Department"));
    orgEdit.txtCompany = lineEdit(nameColumn, nameLayout, tr("Company"));
    headerLayout->addWidget(nameColumn);
    mainLayout->addWidget(wdHeader);

    phoneEditor = new GenericEntitiesEditor(tr("Phone:"), tr("Phone Number"), pim::phoneTypeMap(),
                                            pim::PHONE_MOBILE, wdContent);
    emailEditor = new GenericEntitiesEditor(tr("E-Mail:"), tr("E-Mail Address"), pim::emailTypeMap(),
                                            pim::EMAIL_HOME, wdContent);
    eventEditor = new DateEntitiesEditor(tr("Date (year-month-day):"), pim::eventTypeMap(),
                                         pim::EVENT_BIRTHDAY, wdContent);
    imEditor = new IMEntitiesEditor(tr("IM:"), pim::IM_HOME, 0, wdContent);
    relEditor = new GenericEntitiesEditor(tr("Relationshp:"), tr("Name"), pim::relTypeMap(),
                                          pim::REL_ASSISTANT, wdContent);
    addrEditor = new AddrEntitiesEditor(tr("Address:"), pim::ADDR_HOME, wdContent);
    urlEditor =
        new GenericEntitiesEditor(tr("Url:"), tr("Url"), pim::urlTypeMap(), pim::URL_HOMEPAGE, wdContent);
    for (QWidget *editor : {static_cast<QWidget *>(phoneEditor), static_cast<QWidget *>(emailEditor),
                            static_cast<QWidget *>(eventEditor), static_cast<QWidget *>(imEditor),
                            static_cast<QWidget *>(relEditor), static_cast<QWidget *>(addrEditor),
                            static_cast<QWidget *>(urlEditor)})
        mainLayout->addWidget(editor, 0, Qt::AlignTop);

    auto *notesRow = new QWidget(wdContent);
    auto *notesLayout = new QHBoxLayout(notesRow);
    notesLayout->setContentsMargins(0, 6, 0, 0);
    notesLayout->setSizeConstraint(QLayout::SetMinAndMaxSize);
    auto *notesLabel = new QLabel(tr("Notes:"), notesRow);
    notesLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    notesLayout->addWidget(notesLabel, 0, Qt::AlignTop);
    notesEdit.txtNotes = new QTextEdit(notesRow);
    notesEdit.txtNotes->setAcceptRichText(false);
    notesEdit.txtNotes->setMaximumHeight(80);
    notesLayout->addWidget(notesEdit.txtNotes, 0, Qt::AlignTop);
    mainLayout->addWidget(notesRow, 0, Qt::AlignTop);

    setWidget(wdContent);
    // Scrolling moves the content, not the editors in it: they learn from here which rows come
    // into view.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &ContactEditor::buildShownRows);
}

ContactEditor::~ContactEditor() = default;

void ContactEditor::fillContact(const pim::_Contact *contact)
{
    const auto fillValueRows = [contact](GenericEntitiesEditor *editor, int type) {
        for (const pim::Entity &e : contact->entriesAt(type))
            editor->addItem(e.id, e.srcId, e.values.value(pim::ValueKey::SubType).toInt(),
                            text(e, pim::ValueKey::Label), text(e, pim::ValueKey::Value));
    };

    if (const pim::Entity *e = contact->firstAt(pim::ENTITY_PHOTO))
        photoEdit.fillEntity(*e);
    if (const pim::Entity *e = contact->firstAt(pim::ENTITY_NAME))
        nameEdit.fillEntity(*e);
    if (const pim::Entity *e = contact->firstAt(pim::ENTITY_NICKNAME))
        nicknameEdit.fillEntity(*e);
    if (const pim::Entity *e = contact->firstAt(pim::ENTITY_ORG))
        orgEdit.fillEntity(*e);
    fillValueRows(phoneEditor, pim::ENTITY_PHONE);
    fillValueRows(emailEditor, pim::ENTITY_EMAIL);
    for (const pim::Entity &e : contact->entriesAt(pim::ENTITY_EVENT)) {
        const QString stored = text(e, pim::ValueKey::Value);
        eventEditor->addItem(e.id, e.srcId, e.values.value(pim::ValueKey::SubType).toInt(),
                             text(e, pim::ValueKey::Label), QDateTime::fromString(stored, Qt::ISODate),
                             stored);
    }
    for (const pim::Entity &e : contact->entriesAt(pim::ENTITY_IM))
        imEditor->addItem(e);
    fillValueRows(relEditor, pim::ENTITY_REL);
    for (const pim::Entity &e : contact->entriesAt(pim::ENTITY_ADDR))
        addrEditor->addItem(e);
    fillValueRows(urlEditor, pim::ENTITY_URL);
    if (const pim::Entity *e = contact->firstAt(pim::ENTITY_NOTE))
        notesEdit.fillEntity(*e);
}

void ContactEditor::resetPhoto(QString)
{
    photoEdit.reset();
}

bool ContactEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress &&
        watched->property("accessibleName").toString() == QLatin1String("lbPhoto")) {
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            pickPhoto();
        return true;
    }
    return QScrollArea::eventFilter(watched, event);
}

QString ContactEditor::photoFilter()
{
    // Cameras name their files in capitals (IMG_0001.JPG); the chooser matches with case here.
    return QStringLiteral("Images (*.png *.jpg *.PNG *.JPG)");
}

QByteArray ContactEditor::photoFromFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    const QImage image = decodePicture(file);
    if (image.isNull())
        return QByteArray();
    const QImage scaled =
        image.scaled(kStoredPhotoSide, kStoredPhotoSide, Qt::KeepAspectRatio, Qt::FastTransformation);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    scaled.save(&buffer, "JPEG", -1);
    return bytes;
}

void ContactEditor::pickPhoto()
{
    const QString path = FileDialogs::getOpenFileName(nullptr, QString(), QString(), photoFilter());
    if (path.isEmpty())
        return;
    const QByteArray bytes = photoFromFile(path);
    if (bytes.isEmpty())
        return;
    photoEdit.setPhoto(bytes);
}

void ContactEditor::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    wdHeader->setMinimumWidth(width() - 40);
    buildShownRows();
}

void ContactEditor::buildShownRows()
{
    for (GenericEntitiesEditor *editor : {phoneEditor, emailEditor, relEditor, urlEditor})
        editor->buildShownRows();
}

#pragma once

#include "model/Contact.h"
#include "model/Entity.h"

#include <QByteArray>
#include <QScrollArea>
#include <QString>

class AddrEntitiesEditor;
class DateEntitiesEditor;
class GenericEntitiesEditor;
class IMEntitiesEditor;
class QLabel;
class QLineEdit;
class QTextEdit;
class QVBoxLayout;

// The scrollable form in which the user edits one contact: photo, name parts, nickname and
// organisation in the header, a multi-row editor for each kind a contact may hold several of, and
// the notes. Kinds a contact shows one entry of go through small single-entry editors that keep the
// row id and source identifier of the entry they were loaded with, so that what they give back can
// be matched with the stored entry. Shows no message and stores nothing.
class ContactEditor : public QScrollArea
{
    Q_OBJECT

public:
    struct _NameEdit
    {
        void fillEntity(const pim::Entity &e);
        pim::Entity toEntity() const;

        quint64 id = 0;
        QString srcId = QStringLiteral("");
        QLineEdit *txtFirstName = nullptr;
        QLineEdit *txtLastName = nullptr;
        QLineEdit *txtPrefix = nullptr;
        QLineEdit *txtMiddleName = nullptr;
        QLineEdit *txtSuffix = nullptr;
    };

    struct _PhotoEdit
    {
        _PhotoEdit();
        void fillEntity(const pim::Entity &e);
        pim::Entity toEntity() const;
        // Keeps the bytes whatever they hold and shows them when they decode as JPEG or PNG.
        void setPhoto(QByteArray bytes);
        // No photo: the placeholder picture; the loaded entry's id and source identifier stay.
        void reset();

        quint64 id = 0;
        QString srcId = QStringLiteral("");
        QLabel *lbPhoto = nullptr;
        QByteArray photoData;
        // The user asked for no photo (reset() after the photo was loaded).
        bool deleted = false;
    };

    struct _NicknameEdit
    {
        void fillEntity(const pim::Entity &e);
        pim::Entity toEntity() const;

        quint64 id = 0;
        QString srcId = QStringLiteral("");
        QLineEdit *txtNickname = nullptr;
    };

    struct _OrgEdit
    {
        void fillEntity(const pim::Entity &e);
        pim::Entity toEntity() const;

        quint64 id = 0;
        QString srcId = QStringLiteral("");
        QLineEdit *txtJobTitle = nullptr;
        QLineEdit *txtDepartment = nullptr;
        QLineEdit *txtCompany = nullptr;
    };

    struct _NotesEdit
    {
        void fillEntity(const pim::Entity &e);
        pim::Entity toEntity() const;

        quint64 id = 0;
        QString srcId = QStringLiteral("");
        QTextEdit *txtNotes = nullptr;
    };

    explicit ContactEditor(QWidget *parent);
    ~ContactEditor() override;

    // Loads a contact once, right after construction: the first entry of each single-entry kind and
    // every entry of each multi-row kind. Group memberships and unknown kinds have no place here.
    void fillContact(const pim::_Contact *contact);

    bool eventFilter(QObject *watched, QEvent *event) override;

    // The filter the photo chooser offers.
    static QString photoFilter();
    // A picked picture file as the photo entry stores it: scaled to 320 pixels on its longer side
    // and encoded as JPEG; empty when the file reads neither as JPEG nor as PNG.
    static QByteArray photoFromFile(const QString &path);

    QWidget *wdContent;
    QWidget *wdHeader;
    QVBoxLayout *mainLayout;
    _NameEdit nameEdit;
    _PhotoEdit photoEdit;
    _NicknameEdit nicknameEdit;
    _OrgEdit orgEdit;
    _NotesEdit notesEdit;
    GenericEntitiesEditor *phoneEditor;
    GenericEntitiesEditor *emailEditor;
    DateEntitiesEditor *eventEditor;
    IMEntitiesEditor *imEditor;
    GenericEntitiesEditor *relEditor;
    AddrEntitiesEditor *addrEditor;
    GenericEntitiesEditor *urlEditor;

protected slots:
    void resetPhoto(QString);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void pickPhoto();
    void buildShownRows();
};

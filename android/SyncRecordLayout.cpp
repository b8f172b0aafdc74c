#include "SyncRecordLayout.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"

#include <QHash>

namespace SyncRecordLayout {

namespace {

using E = Encoding;

QHash<int, QList<Field>> buildLayouts()
{
    using namespace pim;
    const auto text = [](const QString &column) { return Field{column, E::Text, 0}; };
    const auto word = [](const QString &column, int type) { return Field{column, E::Word, type}; };
    // The common shape: sub-type word, custom label, then the value.
    const auto valued = [&](int type, Field value) {
        return QList<Field>{word(ValueKey::SubType, type), text(ValueKey::Label), value};
    };

    QHash<int, QList<Field>> layouts;
    layouts[ENTITY_NAME] = {text(NameKey::Prefix), text(NameKey::GivenName), text(NameKey::MiddleName),
                            text(NameKey::FamilyName), text(NameKey::Suffix)};
    layouts[ENTITY_PHOTO] = {Field{PhotoKey::Image, E::Bytes, 0}};
    layouts[ENTITY_PHONE] = valued(ENTITY_PHONE, text(ValueKey::Value));
    layouts[ENTITY_EMAIL] = valued(ENTITY_EMAIL, text(ValueKey::Value));
    layouts[ENTITY_NICKNAME] = valued(ENTITY_NICKNAME, text(ValueKey::Value));
    layouts[ENTITY_EVENT] = valued(ENTITY_EVENT, Field{ValueKey::Value, E::Date, 0});
    layouts[ENTITY_GROUP] = {text(GroupKey::GroupName)};
    layouts[ENTITY_IM] = {word(ImKey::SubType, ENTITY_IM), text(ImKey::Label),
                          word(ImKey::Protocol, kProtocolWordType), text(ImKey::CustomProtocol),
                          text(ImKey::Account)};
    layouts[ENTITY_NOTE] = {text(NoteKey::Text)};
    layouts[ENTITY_ORG] = {word(OrgKey::SubType, ENTITY_ORG), text(OrgKey::Label), text(OrgKey::Company),
                           text(OrgKey::Department), text(OrgKey::JobTitle)};
    layouts[ENTITY_REL] = valued(ENTITY_REL, text(ValueKey::Value));
    layouts[ENTITY_ADDR] = {word(AddrKey::SubType, ENTITY_ADDR),
                            text(AddrKey::Label),
                            text(AddrKey::Country),
                            text(AddrKey::State),
                            text(AddrKey::City),
                            text(AddrKey::Street),
                            text(AddrKey::Postcode)};
    layouts[ENTITY_URL] = valued(ENTITY_URL, text(ValueKey::Value));
    return layouts;
}

} // namespace

const QList<Field> &fields(int type)
{
    static const QHash<int, QList<Field>> layouts = buildLayouts();
    static const QList<Field> none;
    const auto it = layouts.constFind(type);
    return it == layouts.constEnd() ? none : *it;
}

} // namespace SyncRecordLayout

#pragma once

#include <QString>

// Names for the column keys ("data1" … "data15") of each entry type and for the sub-type codes the
// program gives a meaning to. Storage and pim::Entity::values use the keys as they are; every mapper
// (phone records, files, editors, backups) reads and writes them through these names.
namespace pim {

// Name entry.
namespace NameKey {
inline const QString FullName = QStringLiteral("data1");
inline const QString GivenName = QStringLiteral("data2");
inline const QString FamilyName = QStringLiteral("data3");
inline const QString MiddleName = QStringLiteral("data4");
inline const QString Prefix = QStringLiteral("data5");
inline const QString Suffix = QStringLiteral("data6");
inline const QString PhoneticGivenName = QStringLiteral("data7");
inline const QString PhoneticFamilyName = QStringLiteral("data8");
} // namespace NameKey

// Photo entry.
namespace PhotoKey {
inline const QString Hash = QStringLiteral("data4");
inline const QString Image = QStringLiteral("data15");
} // namespace PhotoKey

// Entries of one value with a sub-type and a custom label: phone, e-mail, nickname, event (the value
// is an ISO 8601 date), relation (a name) and website.
namespace ValueKey {
inline const QString Value = QStringLiteral("data1");
inline const QString SubType = QStringLiteral("data2");
// Used with sub-type 0.
inline const QString Label = QStringLiteral("data3");
} // namespace ValueKey

// Group membership entry.
namespace GroupKey {
// The group's row id in the same database, as decimal text.
inline const QString GroupId = QStringLiteral("data1");
inline const QString GroupName = QStringLiteral("data2");
} // namespace GroupKey

// Instant-messaging entry.
namespace ImKey {
inline const QString Account = QStringLiteral("data1");
inline const QString SubType = QStringLiteral("data2");
inline const QString Label = QStringLiteral("data3");
// A code of pim::imProtocolMap().
inline const QString Protocol = QStringLiteral("data5");
inline const QString CustomProtocol = QStringLiteral("data6");
} // namespace ImKey

// Note entry.
namespace NoteKey {
inline const QString Text = QStringLiteral("data1");
} // namespace NoteKey

// Organisation entry.
namespace OrgKey {
inline const QString Company = QStringLiteral("data1");
inline const QString SubType = QStringLiteral("data2");
inline const QString Label = QStringLiteral("data3");
inline const QString JobTitle = QStringLiteral("data4");
inline const QString Department = QStringLiteral("data5");
} // namespace OrgKey

// Postal-address entry.
namespace AddrKey {
inline const QString Formatted = QStringLiteral("data1");
inline const QString SubType = QStringLiteral("data2");
inline const QString Label = QStringLiteral("data3");
inline const QString Street = QStringLiteral("data4");
inline const QString City = QStringLiteral("data7");
inline const QString State = QStringLiteral("data8");
inline const QString Postcode = QStringLiteral("data9");
inline const QString Country = QStringLiteral("data10");
inline const QString CountryCode = QStringLiteral("data11");
} // namespace AddrKey

// Sub-type codes ("data2") with a meaning of their own; every code and its label is in the label
// tables of TypeMaps.h. 0 is "Other" (with the custom label in "data3") for every type.
enum SubTypeCode : int { SUBTYPE_OTHER = 0 };
enum PhoneType : int {
    PHONE_HOME = 1,
    PHONE_MOBILE = 2,
    PHONE_WORK = 3,
    PHONE_WORK_FAX = 4,
    PHONE_HOME_FAX = 5,
    PHONE_PAGER = 6,
    PHONE_CALLBACK = 8,
    PHONE_CAR = 9,
    PHONE_COMPANY_MAIN = 10,
    PHONE_ISDN = 11,
    PHONE_MAIN = 12,
    PHONE_OTHER_FAX = 13,
    PHONE_RADIO = 14,
    PHONE_TELEX = 15,
    PHONE_TTY_TDD = 16,
    PHONE_WORK_MOBILE = 17,
    PHONE_WORK_PAGER = 18,
    PHONE_ASSISTANT = 19,
    PHONE_MMS = 20,
};
enum EmailType : int { EMAIL_HOME = 1, EMAIL_WORK = 2, EMAIL_MOBILE = 4 };
enum EventType : int { EVENT_ANNIVERSARY = 1, EVENT_BIRTHDAY = 3 };
enum ImType : int { IM_HOME = 1, IM_WORK = 2 };
enum AddrType : int { ADDR_HOME = 1, ADDR_WORK = 2 };
enum OrgType : int { ORG_WORK = 1 };
enum NicknameType : int {
    NICKNAME_DEFAULT = 1,
    NICKNAME_OTHER = 2,
    NICKNAME_MAIDEN = 3,
    NICKNAME_SHORT = 4,
    NICKNAME_INITIALS = 5,
};
enum UrlType : int { URL_HOMEPAGE = 1, URL_BLOG = 2, URL_PROFILE = 3, URL_HOME = 4, URL_WORK = 5, URL_FTP = 6 };
enum ImProtocol : int {
    IM_PROTOCOL_AIM = 1,
    IM_PROTOCOL_MSN = 2,
    IM_PROTOCOL_YAHOO = 3,
    IM_PROTOCOL_SKYPE = 4,
    IM_PROTOCOL_QQ = 5,
    IM_PROTOCOL_GOOGLE_TALK = 6,
    IM_PROTOCOL_ICQ = 7,
    IM_PROTOCOL_JABBER = 8,
    IM_PROTOCOL_NETMEETING = 9,
    IM_PROTOCOL_GADU_GADU = 10,
    IM_PROTOCOL_FACEBOOK = 11,
};
enum RelationType : int {
    REL_ASSISTANT = 1,
    REL_BROTHER = 2,
    REL_CHILD = 3,
    REL_DOMESTIC_PARTNER = 4,
    REL_FATHER = 5,
    REL_FRIEND = 6,
    REL_MANAGER = 7,
    REL_MOTHER = 8,
    REL_PARENT = 9,
    REL_PARTNER = 10,
    REL_REFERRED_BY = 11,
    REL_RELATIVE = 12,
    REL_SISTER = 13,
    REL_SPOUSE = 14,
};

} // namespace pim

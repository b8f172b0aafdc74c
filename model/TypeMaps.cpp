#include "TypeMaps.h"

// Each table is built inside the initialiser of its function-local static, so the one-time
// initialisation guard covers the filling too: a thread making the first call at the same moment
// as another waits for the complete table instead of seeing a half-filled one.

namespace pim {

QMap<int, QString> phoneTypeMap()
{
    static const QMap<int, QString> map{
        {0, QStringLiteral("Other")},        {1, QStringLiteral("Home")},
        {2, QStringLiteral("Mobile")},       {3, QStringLiteral("Work")},
        {4, QStringLiteral("Work Fax")},     {5, QStringLiteral("Home Fax")},
        {6, QStringLiteral("Pager")},        {8, QStringLiteral("Callback")},
        {9, QStringLiteral("Car")},          {10, QStringLiteral("Company Main")},
        {11, QStringLiteral("ISDN")},        {12, QStringLiteral("Main")},
        {13, QStringLiteral("Other Fax")},   {14, QStringLiteral("Radio")},
        {15, QStringLiteral("Telex")},       {16, QStringLiteral("TTY TDD")},
        {17, QStringLiteral("Work Mobile")}, {18, QStringLiteral("Work Pager")},
        {19, QStringLiteral("Assistant")},   {20, QStringLiteral("MMS")},
    };
    return map;
}

QMap<int, QString> emailTypeMap()
{
    static const QMap<int, QString> map{
        {0, QStringLiteral("Other")},
        {1, QStringLiteral("Home")},
        {2, QStringLiteral("Work")},
        {4, QStringLiteral("Mobile")},
    };
    return map;
}

QMap<int, QString> eventTypeMap()
{
    static const QMap<int, QString> map{
        {0, QStringLiteral("Other")},
        {1, QStringLiteral("Anniversary")},
        {3, QStringLiteral("Birthday")},
    };
    return map;
}

QMap<int, QString> imProtocolMap()
{
    static const QMap<int, QString> map{
        {0, QStringLiteral("Other")},       {1, QStringLiteral("AIM")},
        {2, QStringLiteral("MSN")},         {3, QStringLiteral("Yahoo")},
        {4, QStringLiteral("Skype")},       {5, QStringLiteral("QQ")},
        {6, QStringLiteral("Google Talk")}, {7, QStringLiteral("ICQ")},
        {8, QStringLiteral("Jabber")},      {9, QStringLiteral("Net Meeting")},
        {10, QStringLiteral("Gadu Gadu")},  {11, QStringLiteral("Facebook")},
    };
    return map;
}

QMap<int, QString> imTypeMap()
{
    static const QMap<int, QString> map{
        {0, QStringLiteral("Other")},
        {1, QStringLiteral("Home")},
        {2, QStringLiteral("Work")},
    };
    return map;
}

QMap<int, QString> nicknameTypeMap()
{
    static const QMap<int, QString> map{
        {0, QStringLiteral("Other")},  {1, QStringLiteral("Default")}, {2, QStringLiteral("Other")},
        {3, QStringLiteral("Maiden")}, {4, QStringLiteral("Short")},   {5, QStringLiteral("Initials")},
    };
    return map;
}

QMap<int, QString> orgTypeMap()
{
    static const QMap<int, QString> map{
        {0, QStringLiteral("Other")},
        {1, QStringLiteral("Work")},
    };
    return map;
}

QMap<int, QString> relTypeMap()
{
    static const QMap<int, QString> map{
        {0, QStringLiteral("Other")},
        {1, QStringLiteral("Assistant")},
        {2, QStringLiteral("Brother")},
        {3, QStringLiteral("Child")},
        {4, QStringLiteral("Domestic Partner")},
        {5, QStringLiteral("Father")},
        {6, QStringLiteral("Friend")},
        {7, QStringLiteral("Manager")},
        {8, QStringLiteral("Mother")},
        {9, QStringLiteral("Parent")},
        {10, QStringLiteral("Partner")},
        {11, QStringLiteral("Referred by")},
        {12, QStringLiteral("Relative")},
        {13, QStringLiteral("Sister")},
        {14, QStringLiteral("Spouse")},
    };
    return map;
}

QMap<int, QString> addrTypeMap()
{
    static const QMap<int, QString> map{
        {0, QStringLiteral("Other")},
        {1, QStringLiteral("Home")},
        {2, QStringLiteral("Work")},
    };
    return map;
}

QMap<int, QString> urlTypeMap()
{
    static const QMap<int, QString> map{
        {0, QStringLiteral("Other")},   {1, QStringLiteral("Home page")}, {2, QStringLiteral("Blog")},
        {3, QStringLiteral("Profile")}, {4, QStringLiteral("Home")},      {5, QStringLiteral("Work")},
        {6, QStringLiteral("FTP")},
    };
    return map;
}

} // namespace pim

#pragma once

#include <QString>

// Fixed facts about the product and where its web site lives. The site's host is chosen when the
// program is built (TARNWICK_UPDATE_HOST) and may be overridden by the environment variable of the
// same name; with neither set, nothing that needs the site (update check, error report) is tried.
class ProductInfo
{
public:
    static constexpr const char *productId = "5D13B7E0A9C24F68B1E07D3C92A4F5E6";
    static constexpr const char *version = "3.1.13";
    static constexpr int buildNumber = 13;
    static constexpr int checkVersion = 13;
    static constexpr const char *supportEmail = "support@ferrovantis.com";
    // The application icon (256 x 256), also the main window's icon.
    static constexpr const char *mainIconPath = ":/main_icon";

    // The translated product title, also the title of every message box.
    static QString title();

    // "host" or "host:port" of the product's web site; empty when none is configured.
    static QString webHost();

    // "http://<host><path>" for a path starting with "/"; empty when no host is configured.
    static QString pageUrl(const QString &path);

    static QString homePageUrl() { return pageUrl(QStringLiteral("/")); }
};

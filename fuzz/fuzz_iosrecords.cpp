// The iPhone's contact records as the sync service sends them, mapped and stored into a scratch
// cache database: one input is one batch (a property-list dictionary of records).
#include "ios/IOSContactBatchWriter.h"
#include "ios/IOSContactCombineRule.h"
#include "ios/PlistCFType.h"
#include "model/LocalDb.h"

#include <QByteArray>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

// One database for the whole run; every input is written inside an edit that is rolled back.
LocalDb &scratchDb()
{
    static QTemporaryDir dir;
    static const std::unique_ptr<LocalDb> db = [] {
        auto created =
            std::make_unique<LocalDb>(dir.filePath(QStringLiteral("cache.db")),
                                      QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
        created->create();
        return created;
    }();
    return *db;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const PlistCFType batch = PlistCFType::createCFPropertyList(bytes);
    if (!batch.isCFDictionary())
        return 0;
    LocalDb &db = scratchDb();
    LocalDb::EditScope edit(db);
    IOSContactBatchWriter writer(&db);
    // Every record twice: the second time each contact is known, so waiting sub-records are written too.
    writer.storeBatch(batch);
    writer.storeBatch(batch);
    (void)writer.missingContacts();
    edit.rollback();
    return 0;
}

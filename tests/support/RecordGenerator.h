#pragma once

// Fills a record database quickly, for the reports' tests and the records benchmark: one transaction
// and one prepared insert built from the store's own schema, where the writer would commit each
// record on its own. The file is a real store's, opened, migrated and with its run and orders kept by
// RecordStore itself.

#include "platform/core/Result.h"
#include "record/RecordSchema.h"
#include "record/RecordStore.h"

#include <QSqlError>
#include <QSqlQuery>

#include <memory>
#include <vector>

namespace qt2xx::test {

class RecordGenerator {
public:
    // Creates the database, begins the run and keeps the orders, then opens the transaction.
    static Result<std::unique_ptr<RecordGenerator>> open(const QString& path, const RunInfo& run,
                                                         const std::vector<OrderInfo>& orders) {
        Result<std::unique_ptr<RecordStore>> opened = RecordStore::open(path);
        if (!opened)
            return Fail(opened.error());
        std::unique_ptr<RecordGenerator> generator(new RecordGenerator(std::move(*opened)));
        RecordStore& store = *generator->m_store;
        if (const Done begun = store.beginRun(run); !begun)
            return Fail(begun.error());
        for (const OrderInfo& order : orders)
            if (const Done noted = store.noteOrder(order); !noted)
                return Fail(noted.error());
        QSqlDatabase& db = store.database();
        db.transaction();
        generator->m_insert = QSqlQuery(db);
        generator->m_insert.prepare(record_schema::InsertInto<ProductionRecord>(record_schema::kRecords));
        return generator;
    }

    Done add(const ProductionRecord& record) {
        record_schema::BindAll(m_insert, record);
        if (!m_insert.exec())
            return Fail(m_insert.lastError().text());
        return {};
    }

    // Makes every record added durable.
    Done commit() {
        if (!m_store->database().commit())
            return Fail(m_store->database().lastError().text());
        return {};
    }

private:
    explicit RecordGenerator(std::unique_ptr<RecordStore> store) : m_store(std::move(store)) {}

    std::unique_ptr<RecordStore> m_store;
    QSqlQuery m_insert; // after the store, so that it is finished before the connection closes
};

} // namespace qt2xx::test

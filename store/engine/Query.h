#pragma once
// A query: the rows of one table file chosen and ordered by a text in the small query
// language (see QueryParser.h). Its text is kept as the program writes it, in lines.
//
// With a master data source, every change of the master dataset (open, move, edit,
// insert, post, cancel, delete, refresh) makes an open query stale; a stale query
// runs its text again on its next use (or at once when a shown control asks for it)
// and then stands on its first row. Callers always observe a freshly run query.

#include "store/engine/Dataset.h"
#include "store/engine/QueryParser.h"

#include <QStringList>

namespace engine {

class DataSource;

class Query : public Dataset
{
    Q_OBJECT
public:
    explicit Query(const QString& name, QObject* parent = nullptr);
    ~Query() override;

    // The text, line by line. Replacing it closes the query.
    void setSql(const QStringList& lines);
    const QStringList& sql() const { return m_sql; }

    // Parses the text (raises EngineError in Spanish for anything outside the language,
    // an unknown table file or field) and prepares it; the query stays closed.
    void execSql();
    // Runs the text and stands on the first row.
    void open() override;
    void close() override;

    void setMasterSource(DataSource* master);
    DataSource* masterSource() const { return m_master; }
    bool isStale() const { return m_stale; }

protected:
    QVector<qint64> loadIds() override;
    QString tableFile() const override { return m_compiled.tableFile; }
    void ensureFresh() override;
    Selection selection() const override;

private:
    friend class DataSource;
    // Called by the master data source for each of its dataset's events.
    void masterChanged(DataEvent event);
    void compile();
    // Runs the text again and stands on the first row (no event).
    void rerun();

    QStringList m_sql;
    CompiledQuery m_compiled;
    bool m_compiledValid = false;
    DataSource* m_master = nullptr;
    bool m_stale = false;
};

} // namespace engine

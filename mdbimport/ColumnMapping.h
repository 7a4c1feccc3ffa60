#pragma once
#include "AccessFile.h"

#include <QList>
#include <QString>
#include <QVariant>

namespace mdbimport {

// How a value is written into its target column.
enum class TargetForm {
    Text,   // a text column of the program's own tables
    Money,  // a MONEY column of the program's own tables
    Integer,// an INT column of the program's own tables
    AsRead, // any column the program does not know: kept in its own type
};

struct TargetColumn
{
    QString name;          // the target's spelling
    QString declaredType;  // as it stands in CREATE TABLE / ALTER TABLE ADD
    TargetForm form = TargetForm::AsRead;
    SourceType sourceType = SourceType::Text;
    int sourceIndex = -1;  // the value's index in a source row
};

// The program's spelling of a table the program knows ("spisokdoc" →
// "SpisokDoc"); empty for any other table.
QString programTableName(const QString &accessName);

// The target columns of a source table: a known table's known columns get
// the program's names and types, every other column keeps its name and an
// SQLite type that holds its values without change.
QList<TargetColumn> planColumns(const QString &programTable, const QList<SourceColumn> &columns);

// The SQLite type for a column the program does not know.
QString sqliteType(const SourceColumn &column);

// The value to bind for `value` (as AccessFile reads it) in `column`.
// Nothing is lost: a value the target form cannot hold is kept as read.
QVariant targetValue(const QVariant &value, const TargetColumn &column);

} // namespace mdbimport

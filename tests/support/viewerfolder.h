#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>

#include <optional>

namespace dorvel::test {

// The rows the statement gives on that SQLite file, each as its values joined by '|';
// nothing when the file or the statement fails.
std::optional<QStringList> queryRows(const QString& path, const QString& sql,
                                     const QVariantList& values = {});

// A viewer folder on disk for tests: <root>/Orbivu.EXE, <root>/settings.ini and
// <root>/Database/Orbivu.mdb with the viewer's tables.
struct ViewerFolder {
    QString root; // ends in "/"
    QString exe;
    QString ini;
    QString db;

    // recordColumns 10 is the current schema; 8 is the old one without PRERECORD/POSTRECORD.
    static ViewerFolder create(const QString& root, int recordColumns = 10,
                               const QByteArray& iniContent = "RecordDirectory=/tmp/rec\r\n");
    // Appends a channel and returns nothing; keys are NID = SID = SOURCEID = num.
    void addChannel(int num, const QString& name) const;
    void addRecord(int channel, const QString& start, const QString& end, const QString& title,
                   const QString& longDesc = QString(), int pre = 0, int post = 0) const;
    int recordCount() const;
};

} // namespace dorvel::test

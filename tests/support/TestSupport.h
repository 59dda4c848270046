#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

// Points the shared documents folder at a fresh scratch folder for the life of this object.
class ScratchDocuments final
{
public:
    ScratchDocuments() { qputenv("TELVARO_SHARED_DOCUMENTS", m_dir.path().toLocal8Bit()); }
    QString path() const { return m_dir.path(); }
    QString file(const QString& relative) const { return QDir(m_dir.path()).filePath(relative); }

private:
    QTemporaryDir m_dir;
};

inline QString testData(const QString& name)
{
    return QStringLiteral(TELVARO_TEST_DATA "/") + name;
}

#pragma once

#include <QString>

// A temporary file that lives as long as the object: created when it is made, deleted when it
// is destroyed.
class TTempFile
{
public:
    // Creates the file in folder (the system's temporary folder when empty). A non-empty
    // extension (with its dot, ".ini") replaces ".tmp" when no file of that name exists yet;
    // otherwise the file keeps its ".tmp" name. Raises Exception when no file can be created.
    explicit TTempFile(const QString& extension = QString(), const QString& folder = QString());
    virtual ~TTempFile();

    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    QString GetFileName() const { return fileName_; }

private:
    QString fileName_;
};

#pragma once
// A text file read up to its last whole line. A file written a row at a time (a live session)
// may end in a row cut short by a crash, a power cut or SIGKILL; its readers see the rows
// before it and a warning, once per file and process, instead of a row of wrong numbers. A
// last line without its newline that reads as a whole row (as many fields as the line before,
// each number with as many decimals) is kept: a file edited by hand may lack the newline.
// Any thread; the files warned about are guarded by one mutex.

#include <QFile>
#include <QIODevice>

class CompleteLinesFile : public QIODevice
{
public:
    explicit CompleteLinesFile(const QString &path);

    // Opens for reading only (ReadOnly, with Text when asked); false as QFile::open.
    bool open(OpenMode mode) override;
    void close() override;
    bool isSequential() const override { return false; }
    qint64 size() const override { return limit; }
    bool seek(qint64 pos) override;

    // Whether a cut last line was left out.
    bool cutShort() const { return limit < file.size(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QFile file;
    qint64 limit = 0; // the bytes up to and including the last whole line's newline
};

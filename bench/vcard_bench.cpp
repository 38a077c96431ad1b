// How fast contacts go out to a vCard file and come back in, set against reading the contact file
// into a sorted list in the same run. A program to run by hand, never a test:
//
//   orvalia_vcard_bench [N] [--runs R] [--photos]
//
// Without --photos the generated contacts have no photo, so that the figures are those of the
// text; with it every card carries its JPEG and every import saves one file per contact.
// Both go through the program's own sequences: the export through its file beside the target,
// the import through the record session into an empty contact file, each flushed and renamed as
// the program does. The import runs in a process of its own, so that its peak resident memory is
// its own.

#include "contacts/contact_file.h"
#include "contacts/contact_list_model.h"
#include "contacts/contact_record.h"
#include "contacts/record_session.h"
#include "contacts/vcard_export.h"
#include "contacts/vcard_import.h"
#include "platform/file_attributes.h"
#include "platform/text_file.h"
#include "sample_contacts.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>

namespace {

const VCardDates Dates = VCardDates::fromShortFormat(QStringLiteral("d/M/yy"));

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Processor time of this process so far: on a busy machine a truer figure than the clock's.
double cpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

struct Timing
{
    double ms = 0;
    double cpu = 0;
};

// The peak resident memory of this process image. (Not ru_maxrss: after an exec it still holds
// the peak of the process that forked.)
long peakRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// The attribute is no part of what is timed.
class NoAttributes : public FileAttributes
{
public:
    void setNormal(const QString &) override { }
    void setHidden(const QString &) override { }
};

// The list as the program loads it at start: the keys read from the contact file, sorted into the
// list. (The main window's share, showing the first rows, is left out: it is no part of an export.)
Timing timeLoad(const QString &directory, FileAttributes &attributes)
{
    QElapsedTimer timer;
    timer.start();
    const double cpu = cpuMs();
    const ContactFile contacts(directory, attributes);
    ContactListModel model;
    model.setKeys(contacts.readKeys().value_or(QStringList()));
    return {timer.nsecsElapsed() / 1e6, cpuMs() - cpu};
}

// As "Exportar contactos" does it: every line read, put in list order, written as a card to a
// file beside the target that takes its name when complete.
Timing timeExport(const QString &directory, const QString &vcf)
{
    QElapsedTimer timer;
    timer.start();
    const double cpu = cpuMs();
    NoAttributes attributes;
    const ContactFile contacts(directory, attributes);
    const VCardExport::Result exported = VCardExport::write(contacts, vcf, Dates);
    if (exported.outcome != VCardExport::Outcome::Done)
        return {-1, -1};
    return {timer.nsecsElapsed() / 1e6, cpuMs() - cpu};
}

// The child: imports vcf into an empty book as "Importar contactos" does: the cards read, the
// new lines appended to the contact file in one rewrite, their keys put in the list.
int importOnly(const QString &vcf, const QString &directory)
{
    QElapsedTimer timer;
    timer.start();
    const double cpu = cpuMs();
    NoAttributes attributes;
    ContactFile contacts(directory, attributes);
    ContactListModel list;
    RecordSession session(contacts, list);
    if (!session.start().ready)
        return 1;
    const RecordSession::Imported imported
        = session.importCards(vcf, {QStringLiteral("1/1/25"), Dates, directory + QStringLiteral("/Fotos")});
    if (imported.outcome != RecordSession::Imported::Outcome::Done || list.count() != imported.added)
        return 1;
    std::printf("%.3f %.3f %ld %d\n", timer.nsecsElapsed() / 1e6, cpuMs() - cpu, peakRssKb(), imported.added);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 4 && arguments[1] == u"--import")
        return importOnly(arguments[2], arguments[3]);

    qint64 count = 100000;
    int runs = 3;
    bool photos = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == u"--runs" && i + 1 < arguments.size())
            runs = std::max(1, arguments[++i].toInt());
        else if (arguments[i] == u"--photos")
            photos = true;
        else
            count = arguments[i].toLongLong();
    }

    QTemporaryDir directory;
    const QString data = directory.filePath(QStringLiteral("data.orv"));
    const QString vcf = directory.filePath(QStringLiteral("contactos.vcf"));
    if (SampleContacts::writeFile(data, directory.filePath(QStringLiteral("fotos")), count) < 0)
        return 1;
    if (!photos) {
        QStringList lines = *TextFile::readLines(data);
        for (QString &line : lines) {
            ContactRecord::Fields fields = ContactRecord::fieldsOf(line);
            fields[ContactRecord::ubicacionfoto].clear();
            line = ContactRecord::lineOf(fields);
        }
        if (!TextFile::replaceThroughTwin(data, data + u'2', TextFile::encodeLines(lines)))
            return 1;
    }

    std::vector<double> loads, exports, imports, loadsCpu, exportsCpu, importsCpu;
    std::vector<long> peaks;
    for (int run = 0; run < runs; ++run) {
        NoAttributes attributes;
        const Timing load = timeLoad(directory.path(), attributes);
        const Timing out = timeExport(directory.path(), vcf);
        if (out.ms < 0)
            return 1;
        loads.push_back(load.ms);
        loadsCpu.push_back(load.cpu);
        exports.push_back(out.ms);
        exportsCpu.push_back(out.cpu);
        QTemporaryDir book;
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--import"), vcf, book.path()});
        if (!child.waitForFinished(-1) || child.exitCode() != 0)
            return 1;
        const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
        if (figures.size() != 4 || figures[3].toLongLong() != count)
            return 1;
        imports.push_back(figures[0].toDouble());
        importsCpu.push_back(figures[1].toDouble());
        peaks.push_back(figures[2].toLong());
    }
    const double load = median(loads), loadCpu = median(loadsCpu);
    const double out = median(exports), outCpu = median(exportsCpu);
    const double in = median(imports), inCpu = median(importsCpu);
    const double vcfMb = QFileInfo(vcf).size() / 1048576.0;
    const double peakMb = *std::max_element(peaks.begin(), peaks.end()) / 1024.0;
    std::printf("%lld contacts%s, median of %d runs (clock, and processor time)\n",
        static_cast<long long>(count), photos ? " with photos" : "", runs);
    std::printf("  load of the list (keys sorted)  %9.1f ms              %9.1f ms\n", load, loadCpu);
    std::printf("  export to vCard                 %9.1f ms  %5.2fx load  %9.1f ms  %5.2fx\n", out,
        out / load, outCpu, outCpu / loadCpu);
    std::printf("  import into an empty book       %9.1f ms  %5.2fx load  %9.1f ms  %5.2fx\n", in, in / load,
        inCpu, inCpu / loadCpu);
    std::printf("  vCard file                      %9.1f MB\n", vcfMb);
    std::printf("  peak memory of the import       %9.1f MB  %5.2fx the file\n", peakMb, peakMb / vcfMb);
    std::printf("{\"contacts\":%lld,\"photos\":%s,\"load_ms\":%.1f,\"export_ms\":%.1f,\"import_ms\":%.1f,"
                "\"load_cpu_ms\":%.1f,\"export_cpu_ms\":%.1f,\"import_cpu_ms\":%.1f,"
                "\"vcf_mb\":%.1f,\"import_peak_mb\":%.1f}\n",
        static_cast<long long>(count), photos ? "true" : "false", load, out, in, loadCpu, outCpu, inCpu,
        vcfMb, peakMb);
    return 0;
}

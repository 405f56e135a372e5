#include "app/batch_run.h"
#include "app/native_path.h"

#include <sys/stat.h>

#include <QFile>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

#include "app/file_list.h"
#include "app/naming.h"
#include "meta/img_data.h"
#include "meta/jpeg_writer.h"
#include "meta/safe_file.h"

namespace morrowtide::app {

namespace fs = std::filesystem;

namespace {

QString withDelimiter(const QString& folder) {
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

// Only a-z: the comparison of folder texts knows no other letters.
QString upperAscii(QString text) {
    for (QChar& c : text) {
        if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - u'a' + u'A');
    }
    return text;
}

std::string nativePath(const QString& path) {
    return encodePath(path);
}

QString messageOf(const char* what) {
    return QString::fromLocal8Bit(what);
}

NamingOptions namingOptionsOf(const RunOptions& options) {
    NamingOptions naming;
    naming.includeDateTime = options.includeDateTime;
    naming.includeCurrentFilename = options.includeFileName;
    naming.overwriteDateTime = options.overwriteDateTime;
    naming.autoRename = options.autoRename;
    return naming;
}

// The mask the host holds now, prepared once for as long as it stays the same.
void useMask(FileNamer& namer, const QString& maskText) {
    if (!namer.formatMask().isEmpty() && namer.formatMaskText() == maskText) return;
    const FileMaskResult result = namer.applyFileMask(maskText);
    // A mask refused now leaves the one accepted before in force; with none before, no name can be formed.
    if (!result.accepted && namer.formatMask().isEmpty())
        throw std::runtime_error(kInvalidFileMaskMessage.toStdString());
}

// The bytes of a source the metadata reader did not take in, or the reason why not. A FIFO or a device named like
// a photo is refused rather than read, which could block for ever.
std::string readUnreadSource(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        throw meta::WriteError("Cannot open file \"" + path + "\". " + std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) throw meta::WriteError("Cannot open file \"" + path + "\". Not a regular file");
    return meta::readSourceFile(path);
}

}  // namespace

bool isSameFolder(const QString& source, const QString& destination) {
    if (upperAscii(withDelimiter(source)) == upperAscii(withDelimiter(destination))) return true;
    // The same folder written another way would otherwise overwrite the originals without a question.
    if (source.isEmpty() || destination.isEmpty()) return false;
    std::error_code error;
    return fs::equivalent(fs::path(nativePath(source)), fs::path(nativePath(destination)), error) && !error;
}

bool needsOverwriteQuestion(const RunOptions& options) {
    return !options.includeDateTime && !options.autoRename &&
           isSameFolder(options.sourceFolder, options.destinationFolder);
}

RunSummary makeSummary(int processed, int listed, bool stopped) {
    RunSummary summary;
    summary.processed = processed;
    summary.listed = listed;
    summary.stopped = stopped;
    const QString k = QString::number(processed);
    const QString n = QString::number(listed);
    if (stopped) {
        summary.kind = SummaryKind::Warning;
        summary.text = QStringLiteral("Cancelled: ") + k + u'/' + n + QStringLiteral(" Files Processed.");
    } else if (processed == listed) {
        summary.kind = SummaryKind::Information;
        summary.text = QStringLiteral("Completed Successfully (") + k + QStringLiteral(" Files)");
    } else {
        summary.kind = SummaryKind::Information;
        summary.text = QStringLiteral("Completed Successfully (") + k + u'/' + n + QStringLiteral(" Files)");
    }
    return summary;
}

BatchRun::BatchRun(BatchHost& host) : host_(host) {}

RunSummary BatchRun::run() {
    const RunOptions startOptions = host_.currentOptions();
    if (needsOverwriteQuestion(startOptions) && !host_.confirmOverwrite()) {
        ending_ = RunEnding::Declined;
        return {};
    }

    host_.runReset();
    fileList_.clear();
    // Fixed for the whole run, whatever the host shows later.
    const QString sourceFolder = startOptions.sourceFolder;
    std::error_code error;
    if (sourceFolder.isEmpty() || !fs::is_directory(fs::path(nativePath(sourceFolder)), error)) {
        ending_ = RunEnding::InvalidSource;
        host_.invalidSource(kInvalidDirectoryMessage);
        return {};
    }

    host_.listingStarted();
    nativeFiles_.clear();
    scanFolderNative(nativePath(sourceFolder), startOptions.recurseFolders, nativeFiles_);
    for (const auto& native : nativeFiles_) fileList_.append(decodePath(native));
    const int listed = static_cast<int>(fileList_.size());
    host_.listBuilt(listed);

    // scanFolder builds every path as the folder text, a "/" when it lacks one, and the rest.
    const qsizetype sourceRootLength = withDelimiter(sourceFolder).size();
    meta::ImgData data(255);  // reused: its buffer keeps the capacity of the largest header read so far
    FileNamer namer(locale_, currentLocalDateTime);
    int processed = 0;
    QString outputPath;
    for (int i = 0; i < listed; ++i) {
        outputPath.clear();
        if (host_.stopRequested()) break;
        host_.fileStarted(fileList_[i]);
        if (processFile(fileList_[i], nativeFiles_[static_cast<std::size_t>(i)], sourceRootLength, data, namer,
                        outputPath)) {
            ++processed;
        }
        host_.fileDone(outputPath + kOutputExtension);
        host_.breathe();
    }

    ending_ = RunEnding::Finished;
    // A Stop during the last file still counts.
    const RunSummary summary = makeSummary(processed, listed, host_.stopRequested());
    host_.runFinished(summary);
    return summary;
}

bool BatchRun::processFile(const QString& path, const std::string& nativeSource, qsizetype sourceRootLength,
                           meta::ImgData& data, FileNamer& namer, QString& outputPath) {
    try {
        const RunOptions options = host_.currentOptions();
        const QString relativePath = path.mid(sourceRootLength);
        const QString relativeFolder = relativePath.left(relativePath.lastIndexOf(u'/') + 1);

        // A folder that cannot be made shows up as the file's write error.
        const QString destinationFolder =
            options.destinationFolder.isEmpty() ? options.destinationFolder : withDelimiter(options.destinationFolder);
        if (!(destinationFolder + relativeFolder).isEmpty()) {
            std::error_code ignored;
            fs::create_directories(fs::path(nativePath(destinationFolder + relativeFolder)), ignored);
        }

        const std::uint32_t fileDate = sourceFileDate(nativeSource);
        const std::string& source = nativeSource;
        // The file is opened once: the reader takes in its sections up to the first scan, the writer copies the
        // rest from the same open file.
        meta::SourceFile sourceFile;
        data.readImageFile(source, sourceFile);
        meta::ImageInfo* exif = data.hasAnyMetadata() && data.hasExifBlock() ? data.exif() : nullptr;
        const bool hasExifData = exif != nullptr;
        if (exif != nullptr) {
            exif->shiftDates(options.offset.days, options.offset.hours, options.offset.minutes, options.offset.seconds);
        }
        const double captureDateTime = exif != nullptr ? exif->captureDateTime() : 0.0;

        useMask(namer, options.fileMask);
        const OutputPath output = namer.outputPathFor(options.destinationFolder, relativePath, hasExifData,
                                                      captureDateTime, namingOptionsOf(options));
        outputPath = output.path();
        const std::string target = nativePath(output.filePath());
        if (!output.nameIsWritable()) throw meta::WriteError(meta::cannotCreateMessage(target, EINVAL));

        if (data.sourcePath() == source && sourceFile.isOpen() && !data.sourceBytes().empty()) {
            meta::saveCorrectedJpeg(data, sourceFile, target);
        } else {
            // The reader could not take the file in: reading it here gives the system's reason, and an empty
            // file the JPEG loader's error.
            meta::saveCorrectedJpeg(data, readUnreadSource(source), target);
        }

        // A file time that cannot be set (a date before 1980) leaves the time of writing, silently. A photo whose
        // EXIF block holds no date keeps the source's time rather than getting the time of writing.
        const bool useSourceDate = options.preserveModDate || !hasExifData || captureDateTime == 0.0;
        setFileDate(output.filePath(), useSourceDate ? fileDate : dosDateTimeFromDays(captureDateTime));
        host_.breathe();
        return true;
    } catch (const std::exception& failure) {
        host_.fileError(messageOf(failure.what()));
    } catch (...) {
        host_.fileError(QStringLiteral("Unknown error"));
    }
    return false;
}

}  // namespace morrowtide::app

// What the preview knows of one listed photo: the facts read from its header once (camera, recorded capture time,
// EXIF thumbnail) and what a run with the options of the moment would make of it (new time, new name, a note).
#pragma once

#include <QByteArray>
#include <QString>
#include <string>

namespace morrowtide::meta {
class ImageInfo;
}

namespace morrowtide::gui {

// How far a photo's capture time moves, as the table marks it.
enum class DateChange {
    None,     // the same day
    Day,      // another day of the same year
    Year,     // another year
};

// The facts of one photo's header; read on a worker thread, never changed afterwards.
struct PhotoHeader {
    QString relativePath;        // below the source folder, "/" between folders
    std::string nativePath;      // the path as the file system's bytes, for reading the file again
    QString cameraModel;
    double recorded = 0.0;       // the first recorded date as a date-time value; 0 when none can be read
    bool hasExif = false;        // an EXIF block was found
    QByteArray thumbnail;        // the JPEG thumbnail stored in the EXIF block, empty when there is none
};

// What a run with the options of the moment would do to the photo.
struct PhotoPlan {
    double newTime = 0.0;    // the capture time after the shift (the recorded one when it is not corrected)
    QString newName;         // output path below the destination folder, with ".jpg"
    QString note;            // "ok", "no EXIF", "no readable date", "date out of range", "renamed _N", ...
    bool corrected = false;  // the dates will be moved
    DateChange change = DateChange::None;
};

// Reads the header of one photo: never decodes the image, never throws. A file that cannot be read comes back
// without EXIF.
PhotoHeader readPhotoHeader(const std::string& nativePath, const QString& relativePath);

// The JPEG thumbnail a decoded EXIF block names (JPEGInterchangeFormat and its length in the thumbnail directory,
// the one the main directory links to), taken from the block's bytes. Empty when it names none, names bytes outside the block, or they are no JPEG.
QByteArray exifThumbnail(const meta::ImageInfo& exif);

// The date-time value of a photo's first recorded date; 0 when the file has none that can be read.
double recordedTimeOf(const QString& path);

// "YYYY-MM-DD HH:MM:SS" for a date-time value, "-" for the missing date.
QString dateTimeText(double value);

}  // namespace morrowtide::gui

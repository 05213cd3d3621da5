#pragma once

// Stepping from the recording that is loaded to the one recorded just before
// or after it, in the order of the recording folder's listing.

#include "record/record_files.h"

#include <QList>
#include <QString>

namespace kv::playback {

// The path of the neighbour of playbackFileName in the list (forward: the
// next one), or an empty string when there is none. The loaded file is found
// without regard to letter case; one not in the list counts as position -1, so
// forward leads to the first file and backward to nothing.
QString StepRecordFile(const QList<record::RecordFileEntry>& list, const QString& playbackFileName,
                       bool forward);

}  // namespace kv::playback

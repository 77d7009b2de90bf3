// A full run of ctags sorts every line it writes; a run on the changed files
// alone (--sort=no -L list) writes theirs unsorted. Dropping the old lines of
// the changed and deleted files and merging in the new ones sorted gives the
// full run's bytes, provided the merge follows ctags exactly. What the real
// Universal Ctags for Windows shows, and how the merge follows it:
// - Lines end in CR LF. The merge copies every line with its end and asks
//   that all of them end alike: a last line without an end differs from the
//   pseudo-tags written before it, which every file it takes begins with.
// - The file field of a run with -R from the run folder names a file
//   relative to it with backslashes and no leading ".\" ("sub\b.c"); a name
//   read from a -L list is written as the list spells it, so a list spelt as
//   the walk spells names gives the same field.
// - u-ctags writes each backslash of a file field as two, byte by byte, the
//   second byte of a double-byte character included ("ソ.c" is 83 5C 5C 2E
//   63); e-ctags writes the name as it is. The names whose lines go are
//   spelt the same way once, and a line's field is compared as written.
// - The order (tagsfile/TagsOrder.cpp) and the pseudo-tags
//   (tagsfile/PseudoTags.cpp) have their own rules; whatever a merge cannot
//   prove identical (lines written out of order, which is how an old file
//   out of order shows, a line without a file field, an order of chance,
//   pseudo-tags a full run may write otherwise) ends the merge with
//   NeedsFullRun. Old lines that go are not looked at beyond their file.
// The old file streams through one buffer; what is written goes through
// another, and the disk guard is asked before each of its writes.
#include "tagsfile/TagsMerge.h"

#include <algorithm>
#include <new>
#include <string>
#include <string_view>

#include "plugin/UniqueAny.h"
#include "tagsfile/LineReader.h"
#include "tagsfile/LineWriter.h"
#include "tagsfile/PseudoTags.h"
#include "tagsfile/TagsOrder.h"
#include "tagupdate/Paths.h"

namespace kestrel {
namespace {

// The field after the name, as written; false when the line has none.
bool FileField(std::string_view line, std::string_view& field) {
    const size_t first = line.find('\t');
    if (first == std::string_view::npos) {
        return false;
    }
    const size_t second = line.find('\t', first + 1);
    if (second == std::string_view::npos || second == first + 1) {
        return false;
    }
    field = line.substr(first + 1, second - first - 1);
    return true;
}

// A file name as the tags file writes it.
std::string Spelt(const CountedString& name, TagsFormat format) {
    std::string spelt;
    for (const char* c = name.Chars(); *c != '\0'; ++c) {
        if (*c == '\\' && format == TagsFormat::UCtags) {
            spelt += '\\';
        }
        spelt += *c;
    }
    return spelt;
}

// ctags cuts patterns at 96 bytes unless told otherwise: a longer line than
// this is not one it wrote for a source anyone edits.
constexpr size_t kLongestLine = 64u << 20;

UniqueFile OpenToRead(const CountedString& path) {
    return UniqueFile(OpenAtAnyLength(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN));
}

// A line of the new file, held in one block of text.
struct HeldLine {
    size_t at, text, whole;
};

class Merge {
public:
    explicit Merge(const MergeRequest& request)
        : m_request(request), m_writer(request.output, request.guard) {}

    MergeResult Run();
    DWORD Error() const { return m_error; }

private:
    MergeResult ReadNewLines();
    MergeResult MergeOldFile();
    MergeResult Emit(std::string_view whole, std::string_view text);
    MergeResult EmitNewLinesBefore(std::string_view text);
    MergeResult CheckHeader();
    MergeResult Failed() {
        m_error = GetLastError();
        return MergeResult::Failed;
    }
    MergeResult Written(LineWriter::Wrote wrote) {
        if (wrote == LineWriter::Wrote::Failed) {
            return Failed();
        }
        return wrote == LineWriter::Wrote::NoRoom ? MergeResult::NoRoom : MergeResult::Merged;
    }
    std::string_view TextOf(const HeldLine& line) const {
        return std::string_view(m_newText).substr(line.at, line.text);
    }
    std::string_view WholeOf(const HeldLine& line) const {
        return std::string_view(m_newText).substr(line.at, line.whole);
    }

    const MergeRequest& m_request;
    LineWriter m_writer;
    DWORD m_error = ERROR_SUCCESS;
    std::vector<std::string> m_dropped; // spelt as written, sorted
    bool m_ranCtags = false;
    PseudoTagLines m_oldHeader, m_newHeader;
    bool m_headerChecked = false;
    std::string m_newText;
    std::vector<HeldLine> m_newLines;
    size_t m_nextNew = 0;
    std::string m_lastWritten;
    bool m_wroteAny = false;
    size_t m_lineEnd = 0;
};

MergeResult Merge::ReadNewLines() {
    m_ranCtags = !m_request.newTagsPath.IsEmpty();
    if (!m_ranCtags) {
        return MergeResult::Merged;
    }
    const UniqueFile file = OpenToRead(m_request.newTagsPath);
    if (!file) {
        return Failed();
    }
    LineReader reader(file.Get(), kLongestLine);
    for (LineReader::Read read; (read = reader.Next()) != LineReader::Read::End;) {
        if (read != LineReader::Read::Line) {
            return read == LineReader::Read::Failed ? Failed() : MergeResult::NeedsFullRun;
        }
        if (IsPseudoTag(reader.Text())) {
            m_newHeader.emplace_back(reader.Text());
            continue;
        }
        m_newLines.push_back({m_newText.size(), reader.Text().size(), reader.Whole().size()});
        m_newText += reader.Whole();
    }
    const TagsSort sort = m_request.sort;
    std::sort(m_newLines.begin(), m_newLines.end(), [&](const HeldLine& a, const HeldLine& b) {
        return SortsBefore(TextOf(a), TextOf(b), sort);
    });
    return MergeResult::Merged;
}

MergeResult Merge::CheckHeader() {
    m_headerChecked = true;
    HeaderChange change;
    change.old = &m_oldHeader;
    change.fresh = m_ranCtags ? &m_newHeader : nullptr;
    change.dropsLines = !m_dropped.empty();
    change.sort = m_request.sort;
    change.format = m_request.format;
    return HeaderStays(change) ? MergeResult::Merged : MergeResult::NeedsFullRun;
}

// Writes a line after the last one written, provided that ctags would put
// them in this order too and both end alike; the same line again is left
// out.
MergeResult Merge::Emit(std::string_view whole, std::string_view text) {
    const size_t end = whole.size() - text.size();
    if (text.empty()) {
        return MergeResult::NeedsFullRun;
    }
    if (m_wroteAny) {
        const Order order = CompareTagLines(m_lastWritten, text, m_request.sort);
        if (end != m_lineEnd || order == Order::After || order == Order::Unknown) {
            return MergeResult::NeedsFullRun;
        }
        if (order == Order::Same) {
            return MergeResult::Merged; // ctags writes a line once
        }
    }
    m_wroteAny = true;
    m_lineEnd = end;
    m_lastWritten.assign(text);
    return Written(m_writer.Write(whole));
}

MergeResult Merge::EmitNewLinesBefore(std::string_view text) {
    for (; m_nextNew < m_newLines.size(); ++m_nextNew) {
        const HeldLine& line = m_newLines[m_nextNew];
        if (!text.empty() && CompareTagLines(TextOf(line), text, m_request.sort) != Order::Before) {
            break;
        }
        std::string_view field;
        if (!FileField(TextOf(line), field)) {
            return MergeResult::NeedsFullRun;
        }
        const MergeResult emitted = Emit(WholeOf(line), TextOf(line));
        if (emitted != MergeResult::Merged) {
            return emitted;
        }
    }
    return MergeResult::Merged;
}

MergeResult Merge::MergeOldFile() {
    const UniqueFile file = OpenToRead(m_request.oldTagsPath);
    if (!file) {
        return Failed();
    }
    LineReader reader(file.Get(), kLongestLine);
    for (LineReader::Read read; (read = reader.Next()) != LineReader::Read::End;) {
        if (read != LineReader::Read::Line) {
            return read == LineReader::Read::Failed ? Failed() : MergeResult::NeedsFullRun;
        }
        const std::string_view text = reader.Text();
        if (IsPseudoTag(text)) {
            m_oldHeader.emplace_back(text);
            m_headerChecked = false;
        } else {
            // Pseudo-tags sort first: most merges that cannot keep them end
            // here, before the bulk of the file.
            if (!m_headerChecked && CheckHeader() != MergeResult::Merged) {
                return MergeResult::NeedsFullRun;
            }
            std::string_view field;
            if (!FileField(text, field)) {
                return MergeResult::NeedsFullRun;
            }
            if (std::binary_search(m_dropped.begin(), m_dropped.end(), field)) {
                continue;
            }
        }
        MergeResult emitted = EmitNewLinesBefore(text);
        if (emitted == MergeResult::Merged) {
            emitted = Emit(reader.Whole(), text);
        }
        if (emitted != MergeResult::Merged) {
            return emitted;
        }
    }
    if (!m_headerChecked && CheckHeader() != MergeResult::Merged) {
        return MergeResult::NeedsFullRun;
    }
    return EmitNewLinesBefore({});
}

MergeResult Merge::Run() {
    if (m_request.output == INVALID_HANDLE_VALUE || m_request.output == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return Failed();
    }
    for (const CountedString& name : m_request.droppedFiles) {
        m_dropped.push_back(Spelt(name, m_request.format));
    }
    std::sort(m_dropped.begin(), m_dropped.end());
    MergeResult result = ReadNewLines();
    if (result == MergeResult::Merged) {
        result = MergeOldFile();
    }
    return result == MergeResult::Merged ? Written(m_writer.Flush()) : result;
}

} // namespace

MergeResult MergeTags(const MergeRequest& request) {
    try {
        Merge merge(request);
        const MergeResult result = merge.Run();
        if (result == MergeResult::Failed) {
            SetLastError(merge.Error());
        }
        return result;
    } catch (const std::bad_alloc&) {
        // It runs on a thread of its own, where nothing would catch it.
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return MergeResult::Failed;
    }
}

} // namespace kestrel

// The pieces of the XML persistence shared by the saving and loading code:
// number texts, the one parser configuration, element lookup, file names,
// the advisory lock and the atomic replacement of a file.
#pragma once

#include "overrides.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace videvo::trajdata::xml {

// ---- number texts -----------------------------------------------------------------

// x as Python's str(float) writes it: the shortest digits that read back as x,
// in fixed notation for 1e-4 <= |x| < 1e16 and in exponent notation otherwise
// ("0.0", "-0.0", "2.5", "1e-05", "2.5e+20", "inf", "nan").
std::string number_text(double x);

// The number texts of `values`, separated by single spaces (ASCII), as a
// string and as a new str.
std::string numbers_string(CVec values);
nb::object numbers_text(CVec values);

// The UTF-8 text of a str (None gives an empty text); valid while the str lives.
std::string_view utf8_of(nb::handle text);

// The number of whitespace-separated words of `text`.
std::int64_t count_words(std::string_view text);

// The first `count` words of `text` (which holds at least that many) as
// doubles, read as Python's float() reads them (ValueError for a word that is
// no number).
void parse_numbers(std::string_view text, double* out, std::int64_t count);

// ---- documents -------------------------------------------------------------------

inline constexpr const char* root_tag = "ViDEVOObjectList";

// An lxml function or class by name.
nb::object etree(const char* name);

// The document of the file at `path`, parsed without entity resolution, DTD
// loading or network access, with blank text dropped and no size limit on
// text nodes.  Saving and loading both read files this way.
nb::object parse_file(nb::handle path);

bool is_list_root(nb::handle element);

// The children of `root` whose tag is `tag` and whose ID attribute equals
// `id` (compared as text, never as part of a query), in document order; at
// most `limit` of them.
std::vector<nb::object> find_objects(nb::handle root, nb::handle tag, nb::handle id, std::size_t limit);

// The name of the object's class, which is the tag of its element.
nb::str class_name(PyObject* obj);

// The text standing for an ID: the str itself, "None" for None.
nb::str id_text(PyObject* ID);

// Raises `type` with the message `prefix` followed by str(text) (built as
// text: an ID need not be encodable).
[[noreturn]] void raise_with(PyObject* type, const char* prefix, nb::handle text);

// CorruptedFileError "<tag> '<id>' in the uploaded file: <fault>".
[[noreturn]] void raise_object_fault(const char* tag, nb::handle id, const std::string& fault);

// ---- files -----------------------------------------------------------------------

// `fname` with the default extension appended when it has none.
nb::str complete_name(PyObject* fname);

// The file a save writes: the destination of a symbolic link.
nb::object real_path(nb::handle path);

bool is_file(nb::handle path);

// An exclusive advisory lock on the sidecar file "<path>.lock" (a shorter
// name where that one would be too long for a file name), held while the
// object lives (waiting for it releases the interpreter lock).  Where no lock
// file can be made, the file at `path` itself is locked.
class FileLock {
public:
    explicit FileLock(nb::handle path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    nb::object fd_;
};

// Replaces the file at `path` by the bytes `data`: they go to a new file in
// the same folder, which is flushed to disk and then renamed over `path`.  An
// existing file keeps its permission bits, owner and group; on any failure it
// is left as it was and the new file is removed.  What a new file cannot take
// over is written in place: a device or a pipe, a file of several names, a
// file whose owner or group the new file cannot be given, or a file in a
// folder where no new file can be made.
void write_atomically(nb::handle path, nb::handle data);

// ---- loaders ----------------------------------------------------------------------

// The static loadxml of each class and its loader slots.
void def_trajectory_loader(TrajectoryClass& cls);
void def_point_loader(PointClass& cls);

}  // namespace videvo::trajdata::xml

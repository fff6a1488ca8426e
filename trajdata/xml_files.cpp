// Documents and files of the XML persistence: parsing, element lookup, file
// names, the advisory lock and atomic replacement.
#include "xml.h"

#include <cstdio>
#include <initializer_list>

namespace videvo::trajdata::xml {
namespace {

// A module, imported once (the reference is kept for the life of the
// interpreter).
nb::handle module(const char* name) {
    PyObject* mod = PyImport_ImportModule(name);
    if (mod == nullptr) throw nb::python_error();
    Py_DECREF(mod);  // sys.modules keeps it
    return mod;
}

nb::handle os() {
    static nb::handle mod = module("os");
    return mod;
}

nb::handle os_path() {
    static nb::handle mod = module("os.path");
    return mod;
}

}  // namespace

// ---- documents -------------------------------------------------------------------

nb::object etree(const char* name) { return module("lxml.etree").attr(name); }

nb::object parse_file(nb::handle path) {
    nb::object parser = etree("XMLParser")(nb::arg("remove_blank_text") = true, nb::arg("resolve_entities") = false,
                                           nb::arg("load_dtd") = false, nb::arg("no_network") = true,
                                           nb::arg("huge_tree") = true);
    // (as bytes: a name that is not UTF-8, which the system gives as surrogate
    // escapes, could be written but not parsed)
    return etree("parse")(os().attr("fsencode")(path), parser);
}

bool is_list_root(nb::handle element) {
    nb::object tag = element.attr("tag");
    return PyUnicode_Check(tag.ptr()) && PyUnicode_CompareWithASCIIString(tag.ptr(), root_tag) == 0;
}

namespace {

bool equal(nb::handle a, nb::handle b) {
    const int r = PyObject_RichCompareBool(a.ptr(), b.ptr(), Py_EQ);
    if (r < 0) throw nb::python_error();
    return r != 0;
}

}  // namespace

std::vector<nb::object> find_objects(nb::handle root, nb::handle tag, nb::handle id, std::size_t limit) {
    std::vector<nb::object> found;
    nb::object get_id = nb::str("ID");
    nb::object children = entry_result(PyObject_GetIter(root.ptr()));
    while (PyObject* child = PyIter_Next(children.ptr())) {
        nb::object element = nb::steal(child);
        // Comments and processing instructions have no str tag.
        nb::object child_tag = element.attr("tag");
        if (!PyUnicode_Check(child_tag.ptr()) || !equal(child_tag, tag)) continue;
        if (!equal(element.attr("get")(get_id), id)) continue;
        found.push_back(std::move(element));
        if (found.size() == limit) return found;
    }
    if (PyErr_Occurred()) throw nb::python_error();
    return found;
}

nb::str class_name(PyObject* obj) {
    return nb::borrow<nb::str>(nb::handle(reinterpret_cast<PyObject*>(Py_TYPE(obj))).attr("__name__"));
}

nb::str id_text(PyObject* ID) {
    require_str_or_none(ID, "ID");
    return ID == Py_None ? nb::str("None") : nb::borrow<nb::str>(ID);
}

void raise_with(PyObject* type, const char* prefix, nb::handle text) {
    PyErr_Format(type, "%s%S", prefix, text.ptr());
    throw nb::python_error();
}

void raise_object_fault(const char* tag, nb::handle id, const std::string& fault) {
    PyErr_Format(corrupted_file_error, "%s '%S' in the uploaded file: %s", tag, id.ptr(), fault.c_str());
    throw nb::python_error();
}

// ---- files -----------------------------------------------------------------------

nb::str complete_name(PyObject* fname) {
    require_str_or_none(fname, "fname");
    nb::object ext = os_path().attr("splitext")(nb::handle(fname))[1];
    if (nb::len(ext) != 0) return nb::borrow<nb::str>(fname);
    return nb::str(entry_result(PyUnicode_Concat(fname, nb::module_::import_("videvo.trajdata").attr("DEF_EXT").ptr())));
}

nb::object real_path(nb::handle path) { return os_path().attr("realpath")(path); }

bool is_file(nb::handle path) { return nb::cast<bool>(os_path().attr("isfile")(path)); }

namespace {

int os_flag(const char* name) {
    return nb::hasattr(os(), name) ? nb::cast<int>(os().attr(name)) : 0;
}

// Runs `f`, keeping the exception being raised (if any) as it was.
template <class F>
void quietly(F f) noexcept {
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    try {
        f();
    } catch (...) {
    }
    PyErr_Clear();
    PyErr_Restore(type, value, traceback);
}

// The name in `path`'s folder of a file beside it, `name` + `tail`, or, when
// that would pass the 255 bytes a file name may take, "." + a hash of name's
// bytes + `tail` (the same for every process that saves into `path`).
nb::object beside(nb::handle path, nb::handle name, nb::handle tail) {
    nb::object full = nb::str(nb::borrow(name)) + nb::str(nb::borrow(tail));
    nb::object bytes = os().attr("fsencode")(full);
    if (PyBytes_GET_SIZE(bytes.ptr()) > 255) {
        nb::object own = os().attr("fsencode")(name);
        std::uint64_t h = 0xcbf29ce484222325ULL;  // FNV-1a
        const char* b = PyBytes_AS_STRING(own.ptr());
        for (Py_ssize_t i = 0; i < PyBytes_GET_SIZE(own.ptr()); ++i)
            h = (h ^ static_cast<unsigned char>(b[i])) * 0x100000001b3ULL;
        char hex[20];
        std::snprintf(hex, sizeof hex, ".%016llx", static_cast<unsigned long long>(h));
        full = nb::str(hex) + nb::str(nb::borrow(tail));
    }
    return os_path().attr("join")(os_path().attr("dirname")(path), full);
}

// Whether the OSError `e` has one of the error codes `names` (those the
// system defines).
bool has_errno(nb::python_error& e, std::initializer_list<const char*> names) {
    if (!e.matches(PyExc_OSError)) return false;
    nb::object errno_module = nb::module_::import_("errno");
    const nb::object code = e.value().attr("errno");
    for (const char* name : names)
        if (nb::hasattr(errno_module, name) && code.equal(errno_module.attr(name))) return true;
    return false;
}

// The lock files this thread holds (new references): asking again would
// wait forever.
thread_local std::vector<PyObject*> held;

}  // namespace

FileLock::FileLock(nb::handle path) {
    nb::object lock_path = beside(path, os_path().attr("basename")(path), nb::str(".lock"));
    for (PyObject* h : held) {
        const int same = PyObject_RichCompareBool(h, lock_path.ptr(), Py_EQ);
        if (same < 0) throw nb::python_error();
        if (same) {
            PyErr_Format(PyExc_RuntimeError, "a save into %S is already in progress", path.ptr());
            throw nb::python_error();
        }
    }
    try {
        fd_ = os().attr("open")(lock_path, os_flag("O_RDWR") | os_flag("O_CREAT") | os_flag("O_BINARY"), 0666);
    } catch (nb::python_error& e) {
        if (!e.matches(PyExc_PermissionError)) throw;
        // Another user's lock file is locked read-only (the lock needs no
        // more); where no lock file can be made (a folder that only its
        // files may be written in), the file itself is locked, and then
        // written in place.
        try {
            fd_ = os().attr("open")(lock_path, os_flag("O_RDONLY") | os_flag("O_BINARY"));
        } catch (nb::python_error& again) {
            if (!again.matches(PyExc_FileNotFoundError) || !is_file(path)) throw e;
            try {
                fd_ = os().attr("open")(path, os_flag("O_RDONLY") | os_flag("O_BINARY"));
            } catch (nb::python_error&) {
                throw e;
            }
        }
    }
    try {
        if (PyObject* fcntl = PyImport_ImportModule("fcntl")) {
            nb::object f = nb::steal(fcntl);
            f.attr("flock")(fd_, f.attr("LOCK_EX"));
            held.push_back(lock_path.inc_ref().ptr());
            return;
        }
        PyErr_Clear();
        // Windows: a lock on the first byte; LK_LOCK gives up after ten
        // seconds of contention, so keep asking while that is the reason.
        nb::object msvcrt = nb::module_::import_("msvcrt");
        nb::object errno_module = nb::module_::import_("errno");
        for (;;) {
            try {
                msvcrt.attr("locking")(fd_, msvcrt.attr("LK_LOCK"), 1);
                held.push_back(lock_path.inc_ref().ptr());
                return;
            } catch (nb::python_error& e) {
                if (!e.matches(PyExc_OSError)) throw;
                nb::object code = e.value().attr("errno");
                if (!code.equal(errno_module.attr("EDEADLOCK")) && !code.equal(errno_module.attr("EACCES"))) throw;
            }
        }
    } catch (...) {
        quietly([&] { os().attr("close")(fd_); });
        throw;
    }
}

FileLock::~FileLock() {
    Py_DECREF(held.back());
    held.pop_back();
    quietly([&] {
        if (PyObject* fcntl = PyImport_ImportModule("fcntl")) {
            nb::object f = nb::steal(fcntl);
            f.attr("flock")(fd_, f.attr("LOCK_UN"));
        } else {
            PyErr_Clear();
            nb::object msvcrt = nb::module_::import_("msvcrt");
            os().attr("lseek")(fd_, 0, 0);
            msvcrt.attr("locking")(fd_, msvcrt.attr("LK_UNLCK"), 1);
        }
    });
    quietly([&] { os().attr("close")(fd_); });
}

// Flushes the folder's entries to the disk, so that a rename into it
// survives a crash of the system.  Where folders cannot be opened (Windows,
// a folder without read permission) or flushed (file systems that refuse:
// EINVAL), the rename stays as durable as the system makes it; any other
// failure of the flush is raised.
void sync_folder(nb::handle folder) {
    nb::object fd;
    try {
        fd = os().attr("open")(nb::len(folder) != 0 ? nb::object(nb::borrow(folder)) : nb::object(nb::str(".")),
                               os_flag("O_RDONLY") | os_flag("O_DIRECTORY"));
    } catch (nb::python_error& e) {
        if (!e.matches(PyExc_OSError)) throw;
        return;
    }
    try {
        os().attr("fsync")(fd);
    } catch (nb::python_error& e) {
        quietly([&] { os().attr("close")(fd); });
        if (has_errno(e, {"EINVAL", "ENOTSUP", "EOPNOTSUPP", "EBADF"})) return;
        throw;
    }
    os().attr("close")(fd);
}

namespace {

// Writes all of `data` to the open file `fd` and flushes it to the disk (a
// device or a pipe, which cannot be flushed, is written as it is).
void write_all(nb::handle fd, nb::handle data) {
    char* bytes = PyBytes_AS_STRING(data.ptr());
    const Py_ssize_t size = PyBytes_GET_SIZE(data.ptr());
    for (Py_ssize_t done = 0; done < size;) {
        nb::object rest = entry_result(PyMemoryView_FromMemory(bytes + done, size - done, PyBUF_READ));
        done += nb::cast<Py_ssize_t>(os().attr("write")(fd, rest));
    }
    try {
        os().attr("fsync")(fd);
    } catch (nb::python_error& e) {
        if (!has_errno(e, {"EINVAL"})) throw;
    }
}

// Writes `data` into the existing file at `path` itself.
void write_in_place(nb::handle path, nb::handle data) {
    nb::object fd = os().attr("open")(path, os_flag("O_WRONLY") | os_flag("O_TRUNC") | os_flag("O_BINARY") |
                                                os_flag("O_CLOEXEC"));
    try {
        write_all(fd, data);
    } catch (...) {
        quietly([&] { os().attr("close")(fd); });
        throw;
    }
    os().attr("close")(fd);
}

}  // namespace

void write_atomically(nb::handle path, nb::handle data) {
    nb::object st;  // the existing file's status
    try {
        st = os().attr("stat")(path);
    } catch (nb::python_error& e) {
        if (!e.matches(PyExc_OSError)) throw;
    }
    if (st.is_valid()) {
        // What a new file cannot take over is written in place: a device or
        // a pipe (renaming over it would replace the node), a file of several
        // names (the others would keep the old contents).
        const long mode = nb::cast<long>(st.attr("st_mode"));
        const bool regular = nb::cast<bool>(nb::module_::import_("stat").attr("S_ISREG")(mode));
        if (!regular || nb::cast<long>(st.attr("st_nlink")) > 1) return write_in_place(path, data);
        // A file that could not be opened for writing is not replaced either.
        os().attr("close")(os().attr("open")(path, os_flag("O_WRONLY") | os_flag("O_APPEND") | os_flag("O_BINARY")));
    }
    nb::object folder = os_path().attr("dirname")(path);
    nb::object tail = nb::str(".") + os().attr("urandom")(6).attr("hex")() + nb::str(".tmp");
    nb::object temporary = beside(path, nb::str(".") + os_path().attr("basename")(path), tail);
    nb::object fd;
    try {
        fd = os().attr("open")(temporary, os_flag("O_WRONLY") | os_flag("O_CREAT") | os_flag("O_EXCL") |
                                              os_flag("O_BINARY") | os_flag("O_CLOEXEC"),
                               0666);
    } catch (nb::python_error& e) {
        // (a folder in which only the existing file may be written)
        if (st.is_valid() && e.matches(PyExc_PermissionError)) return write_in_place(path, data);
        throw;
    }
    bool open = true, replace = true;
    try {
        write_all(fd, data);
        if (st.is_valid()) {
            // The file keeps its permission bits, and its owner and group
            // where they can be given to the new file; else it is written in
            // place (a file of another user, which its writers may rewrite
            // but not replace).
            os().attr("chmod")(temporary, nb::cast<long>(st.attr("st_mode")) & 07777);
            nb::object own = os().attr("fstat")(fd);
            const long uid = nb::cast<long>(st.attr("st_uid")), gid = nb::cast<long>(st.attr("st_gid"));
            const bool same_uid = uid == nb::cast<long>(own.attr("st_uid"));
            const bool same_gid = gid == nb::cast<long>(own.attr("st_gid"));
            if ((!same_uid || !same_gid) && nb::hasattr(os(), "chown")) {
                try {
                    os().attr("chown")(temporary, same_uid ? -1 : uid, same_gid ? -1 : gid);
                } catch (nb::python_error& e) {
                    if (!e.matches(PyExc_OSError)) throw;
                    replace = false;
                }
            }
        }
        open = false;
        os().attr("close")(fd);
        if (replace) os().attr("replace")(temporary, path);
    } catch (...) {
        if (open) quietly([&] { os().attr("close")(fd); });
        quietly([&] { os().attr("unlink")(temporary); });
        throw;
    }
    if (!replace) {
        quietly([&] { os().attr("unlink")(temporary); });
        return write_in_place(path, data);
    }
    sync_folder(folder);
}

}  // namespace videvo::trajdata::xml

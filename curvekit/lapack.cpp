// Binding of LAPACK's dgbsv, dgesv and BLAS's dgemm from SciPy's capsules.
#include "lapack.h"

#include <videvo/errors.h>

#include <string>

namespace videvo::lapack {
namespace {

// The Fortran interfaces: every argument by address.
using dgbsv_t = void (*)(int*, int*, int*, int*, double*, int*, int*, double*, int*, int*);
using dgesv_t = void (*)(int*, int*, double*, int*, int*, double*, int*, int*);
using dgemm_t = void (*)(char*, char*, int*, int*, int*, double*, double*, int*, double*, int*,
                         double*, double*, int*);

// Set once at import, read-only afterwards.
dgbsv_t dgbsv_ptr = nullptr;
dgesv_t dgesv_ptr = nullptr;
dgemm_t dgemm_ptr = nullptr;

// The entry point `name` of the capsule table `module.__pyx_capi__`.
void* entry(const char* module, const char* name) {
    const std::string where = std::string(module) + "." + name;
    try {
        nb::object table = nb::module_::import_(module).attr("__pyx_capi__");
        PyObject* capsule = PyDict_GetItemString(table.ptr(), name);
        if (capsule == nullptr || !PyCapsule_CheckExact(capsule))
            throw nb::import_error((where + " is not available").c_str());
        void* pointer = PyCapsule_GetPointer(capsule, PyCapsule_GetName(capsule));
        if (pointer == nullptr) throw nb::python_error();
        return pointer;
    } catch (nb::python_error& e) {
        throw nb::import_error(("cannot bind " + where + ": " + e.what()).c_str());
    }
}

}  // namespace

void bind() {
    dgbsv_ptr = reinterpret_cast<dgbsv_t>(entry("scipy.linalg.cython_lapack", "dgbsv"));
    dgesv_ptr = reinterpret_cast<dgesv_t>(entry("scipy.linalg.cython_lapack", "dgesv"));
    dgemm_ptr = reinterpret_cast<dgemm_t>(entry("scipy.linalg.cython_blas", "dgemm"));
}

int dgbsv(int n, int kl, int ku, int nrhs, double* ab, int ldab, int* ipiv, double* b,
          int ldb) noexcept {
    int info = 0;
    dgbsv_ptr(&n, &kl, &ku, &nrhs, ab, &ldab, ipiv, b, &ldb, &info);
    return info;
}

int dgesv(int n, int nrhs, double* a, int lda, int* ipiv, double* b, int ldb) noexcept {
    int info = 0;
    dgesv_ptr(&n, &nrhs, a, &lda, ipiv, b, &ldb, &info);
    return info;
}

void dgemm(char transa, char transb, int m, int n, int k, double alpha, const double* a, int lda,
           const double* b, int ldb, double beta, double* c, int ldc) noexcept {
    // BLAS does not write A and B; its interface is merely not const-qualified.
    dgemm_ptr(&transa, &transb, &m, &n, &k, &alpha, const_cast<double*>(a), &lda,
              const_cast<double*>(b), &ldb, &beta, c, &ldc);
}

}  // namespace videvo::lapack

#pragma once
#include <QString>
#include <optional>
#include <string>

typedef struct zip zip_t;

namespace core {

// How reading one part of a zip package (an .xlsx, a .docx) went.
enum class ZipPart { Read, Missing, Broken };

// The bytes of the part `name` of the open package into `bytes`; a part
// larger than `maxSize` unpacked counts as broken, so a damaged or hostile
// file is never unpacked into memory whole. Names compare in any letter
// case when `anyCase`.
ZipPart readZipPart(zip_t *zip, const QString &name, std::string &bytes,
                    quint64 maxSize = 512ull * 1024 * 1024, bool anyCase = false);

} // namespace core

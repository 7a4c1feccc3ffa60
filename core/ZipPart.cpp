#include "core/ZipPart.h"

#include <zip.h>

namespace core {

ZipPart readZipPart(zip_t *z, const QString &name, std::string &bytes, quint64 maxSize, bool anyCase)
{
    bytes.clear();
    const zip_int64_t index = zip_name_locate(z, name.toUtf8().constData(), anyCase ? ZIP_FL_NOCASE : 0);
    if (index < 0)
        return ZipPart::Missing;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(z, zip_uint64_t(index), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) || st.size > maxSize)
        return ZipPart::Broken;
    zip_file_t *f = zip_fopen_index(z, zip_uint64_t(index), 0);
    if (!f)
        return ZipPart::Broken;
    bytes.assign(st.size, '\0');
    const zip_int64_t n = st.size ? zip_fread(f, bytes.data(), st.size) : 0;
    zip_fclose(f);
    if (n < 0 || zip_uint64_t(n) != st.size) {
        bytes.clear();
        return ZipPart::Broken;
    }
    return ZipPart::Read;
}

} // namespace core

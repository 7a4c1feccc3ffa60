#pragma once
#include "core/ProcessValues.h"

#include <QString>
#include <functional>
#include <span>

namespace staff {

// One employee field shared by a Users row and BuferSotrudnika.
struct PoleSotrudnika
{
    const char *field;                       // the Users column
    QString core::TBuferSotrudnika::*member; // the buffer's field
};

// The eight employee fields that travel between a Users row and the buffer:
// name, organisation, department, position, personnel number, card number,
// ITR mark and barcode. The record identifier is left to each caller, as
// each puts it somewhere else (RecID or RedaktRecID).
std::span<const PoleSotrudnika> polyaSotrudnika();

// Fills the eight fields of `b` with the texts `pole` gives for their columns.
void zapolnitBufer(core::TBuferSotrudnika &b, const std::function<QString(const QString &field)> &pole);

} // namespace staff

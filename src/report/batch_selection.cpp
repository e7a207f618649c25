#include "report/batch_selection.h"

#include <set>
#include <stdexcept>

#include "support/ole_date.h"
#include "support/text_codec.h"

namespace plm::report {
namespace {

template <class Node>
const Node& findNode(const model::NamedCollection<Node>& nodes, const std::string& name) {
    const Node* node = nodes.get(name);
    if (!node)
        throw std::invalid_argument("no such name: " + support::toUtf8(name));
    return *node;
}

void appendCircuit(const model::TestCircuit& circuit, const std::string& customer,
                   std::vector<BatchItem>& items) {
    for (const model::MeasurementName& name : circuit.names)
        appendMeasurements(name, customer, circuit.name, items);
}

void appendCustomer(const model::Customer& customer, std::vector<BatchItem>& items) {
    for (const model::TestCircuit& circuit : customer.circuits)
        appendCircuit(circuit, customer.name, items);
}

bool unsafeByte(unsigned char b) {
    static const std::string reserved = "/\\:*?\"<>|";
    return b < 0x20 || b == 0x7F || reserved.find(static_cast<char>(b)) != std::string::npos;
}

std::string baseName(const BatchItem& item) {
    std::string name = fileNamePart(item.level1) + "_" + fileNamePart(item.level2) + "_" +
                       fileNamePart(item.level3) + "_No" + fileNamePart(item.record->dataNoText());
    const std::string date = support::formatDateTime(item.record->testDateTime, "%Y%m%d_%H%M%S");
    if (!date.empty())
        name += "_" + fileNamePart(date);
    return name;
}

}  // namespace

void appendMeasurements(const model::MeasurementName& name, const std::string& customer,
                        const std::string& circuit, std::vector<BatchItem>& items) {
    for (int i = 0; i < name.records.count(); ++i)
        items.push_back({customer, circuit, name.name, i, &name.records.at(i), &name.records});
}

std::vector<BatchItem> selectBatch(const model::CustomerTree& tree, const BatchScope& scope) {
    std::vector<BatchItem> items;
    const size_t depth = scope.names.size();
    if (depth < 1 || depth > 3 || (scope.index >= 0 && depth != 3))
        throw std::invalid_argument("a batch names a customer, a circuit or a measurement name");
    const model::Customer& customer = findNode(tree.customers, scope.names[0]);
    if (depth == 1) {
        appendCustomer(customer, items);
        return items;
    }
    const model::TestCircuit& circuit = findNode(customer.circuits, scope.names[1]);
    if (depth == 2) {
        appendCircuit(circuit, customer.name, items);
        return items;
    }
    const model::MeasurementName& name = findNode(circuit.names, scope.names[2]);
    if (scope.index < 0) {
        appendMeasurements(name, customer.name, circuit.name, items);
        return items;
    }
    if (scope.index >= name.records.count()) {
        throw std::out_of_range(
            support::format("no record %d (the name holds %d)", scope.index, name.records.count()));
    }
    items.push_back({customer.name, circuit.name, name.name, scope.index,
                     &name.records.at(scope.index), &name.records});
    return items;
}

std::string fileNamePart(const std::string& cp932, size_t maxBytes) {
    std::string out;
    for (size_t i = 0; i < cp932.size();) {
        const auto b = static_cast<unsigned char>(cp932[i]);
        const size_t width = support::isLeadByte(b) && i + 1 < cp932.size() ? 2 : 1;
        if (out.size() + width > maxBytes)
            break;
        if (width == 2) {
            out.append(cp932, i, 2);
        } else if (unsafeByte(b) || (out.empty() && b == '.')) {
            out += '_';
        } else {
            out += static_cast<char>(b);
        }
        i += width;
    }
    return out;
}

std::vector<std::string> batchCsvFileNames(const std::vector<BatchItem>& items) {
    std::vector<std::string> names;
    std::set<std::string> taken;  // lower-cased: file systems that ignore case count too
    names.reserve(items.size());
    for (const BatchItem& item : items) {
        const std::string base = baseName(item);
        std::string name = base + ".CSV";
        for (int n = 2; !taken.insert(support::lowerMb(name)).second; ++n)
            name = base + "_" + std::to_string(n) + ".CSV";
        names.push_back(std::move(name));
    }
    return names;
}

}  // namespace plm::report

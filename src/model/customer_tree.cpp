#include "model/customer_tree.h"

namespace plm::model {

MeasurementName* findMeasurementName(CustomerTree& tree, std::string_view customer,
                                     std::string_view circuit, std::string_view name) {
    const auto& constTree = tree;
    return const_cast<MeasurementName*>(findMeasurementName(constTree, customer, circuit, name));
}

const MeasurementName* findMeasurementName(const CustomerTree& tree, std::string_view customer,
                                           std::string_view circuit, std::string_view name) {
    const Customer* c = tree.customers.get(customer);
    if (!c)
        return nullptr;
    const TestCircuit* t = c->circuits.get(circuit);
    if (!t)
        return nullptr;
    return t->names.get(name);
}

MeasurementName& findOrAddMeasurementName(CustomerTree& tree, const std::string& customer,
                                          const std::string& circuit, const std::string& name) {
    Customer& c = tree.customers.at(tree.customers.findOrAdd(customer));
    TestCircuit& t = c.circuits.at(c.circuits.findOrAdd(circuit));
    return t.names.at(t.names.findOrAdd(name));
}

}  // namespace plm::model

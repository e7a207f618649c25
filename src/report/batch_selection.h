#pragma once

#include <functional>
#include <string>
#include <vector>

#include "model/customer_tree.h"

// Many measurements at once: which measurements a customer, a test circuit
// or a measurement name stands for, and the file each gets in a folder.
namespace plm::report {

// One measurement of a batch with the names it is filed under (CP932). The
// record belongs to the tree it was selected from, which must outlive it.
struct BatchItem {
    std::string level1;  // customer
    std::string level2;  // test circuit
    std::string level3;  // measurement data name
    int index = 0;       // position under its measurement name
    const model::MeasurementRecord* record = nullptr;
    // Every measurement of its name, record among them, for the trend its
    // judgement shows; nullptr when the batch was put together without it.
    const model::RecordList* records = nullptr;
};

// Told before each measurement of a batch is written (done of total so far);
// returning false cancels the run before that measurement.
using BatchProgress = std::function<bool(int done, int total, const BatchItem& next)>;

// What a batch covers: one to three names from the customer down, and with
// all three a measurement index (-1: every measurement of the name).
struct BatchScope {
    std::vector<std::string> names;
    int index = -1;
};

// The measurements below the scope in tree order: customers, circuits and
// names as the tree sorts them, the measurements of a name in their order.
// Throws std::invalid_argument naming the first name that is not in the
// tree, std::out_of_range for an index the name does not hold.
std::vector<BatchItem> selectBatch(const model::CustomerTree& tree, const BatchScope& scope);

// Every measurement under one measurement name, in order.
void appendMeasurements(const model::MeasurementName& name, const std::string& customer,
                        const std::string& circuit, std::vector<BatchItem>& items);

// One name made safe as part of a file name: control characters and
// / \ : * ? " < > | become "_", a leading "." too (no hidden files), and
// the text is cut, on a character boundary, to at most maxBytes bytes.
// Double-byte characters stay whole, whatever their trail byte.
std::string fileNamePart(const std::string& cp932, size_t maxBytes = 60);

// The CSV file name of each item, in the same order (CP932):
//   <customer>_<circuit>_<name>_No<data number>_<YYYYMMDD_HHMMSS>.CSV
// the date part left out for a record without a date. Names that would
// fall together, also in letter case only, get "_2", "_3", ... before the
// extension, in batch order.
std::vector<std::string> batchCsvFileNames(const std::vector<BatchItem>& items);

}  // namespace plm::report

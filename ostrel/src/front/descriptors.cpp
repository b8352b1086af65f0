// Descriptors: named lists of items, one per selected column, filled by
// describe. After a fetch their INDICATOR and DATA read the cursor's current
// row straight from the engine's cells, so a row is never copied; the values
// are converted only when asked for, into the caller's host variables.

#include <cstring>

#include "core/status.h"
#include "front/connection.h"
#include "front/sql_objects.h"
#include "values/values.h"

namespace {

Descriptor* lookup(const char* id, const char* operation) {
    Descriptor* descriptor = find_descriptor(id);
    if (descriptor == nullptr) {
        status_error(OslError::kUnknownDescriptor, "%s: descriptor '%s' is not allocated.",
                     operation, id);
    }
    return descriptor;
}

int put_integer(const Descriptor& descriptor, int item_number, int item, int value,
                const OslHostValue& host) {
    if (host.host_type == OSL_HOST_INT32) {
        *static_cast<int32_t*>(host.address) = value;
        return 0;
    }
    if (host.host_type == OSL_HOST_INT16 && value >= INT16_MIN && value <= INT16_MAX) {
        *static_cast<int16_t*>(host.address) = static_cast<int16_t>(value);
        return 0;
    }
    return status_error(OslError::kHostTypeMismatch,
                        "Descriptor '%s', item %d: item code %d cannot be read into a host "
                        "variable of type %d.",
                        descriptor.id.c_str(), item_number, item, host.host_type);
}

int put_name(const Descriptor& descriptor, int item_number, const std::string& name,
             const OslHostValue& host) {
    if ((host.host_type != OSL_HOST_TEXT && host.host_type != OSL_HOST_CSTRING) || host.size == 0) {
        return status_error(OslError::kHostTypeMismatch,
                            "Descriptor '%s', item %d: NAME is read into a text buffer.",
                            descriptor.id.c_str(), item_number);
    }
    if (name.size() >= host.size) {
        return status_error(OslError::kBufferTooSmall,
                            "Descriptor '%s', item %d: the name '%s' does not fit a buffer of %zu "
                            "bytes.",
                            descriptor.id.c_str(), item_number, name.c_str(), host.size);
    }
    std::memcpy(host.address, name.c_str(), name.size() + 1);
    return 0;
}

// The statement's columns as the engine describes them, once.
bool describe_statement(Statement& statement) {
    if (!statement.described) {
        if (!statement.stepper.engine->describe(statement.stepper.statement, &statement.columns)) {
            return false;
        }
        statement.described = true;
    }
    return true;
}

bool has_row(const Descriptor& descriptor, int item_number) {
    if (descriptor.row_source == nullptr) {
        status_error(OslError::kNoCurrentRow,
                     "Descriptor '%s', item %d: there is no current row; fetch one first.",
                     descriptor.id.c_str(), item_number);
        return false;
    }
    return true;
}

}  // namespace

int osl_allocate_descriptor(const char* descriptor_id, int max_items) {
    status_begin();
    if (!require_connection("Allocate descriptor")) {
        return osl_status();
    }
    if (find_descriptor(descriptor_id) != nullptr) {
        return status_error(OslError::kDescriptorExists,
                            "Descriptor '%s' cannot be allocated: it already is.", descriptor_id);
    }
    if (max_items < 0) {
        return status_error(OslError::kBadArgument,
                            "Descriptor '%s' cannot be allocated with %d items.", descriptor_id,
                            max_items);
    }
    SqlObjects& objects = sql_objects();
    objects.descriptors.push_back(std::make_unique<Descriptor>());
    Descriptor& descriptor = *objects.descriptors.back();
    descriptor.id = descriptor_id;
    descriptor.max_items = max_items;
    descriptor.items.reserve(static_cast<size_t>(max_items));
    return status_set(OSL_OK);
}

int osl_deallocate_descriptor(const char* descriptor_id) {
    status_begin();
    if (!require_connection("Deallocate descriptor")) {
        return osl_status();
    }
    SqlObjects& objects = sql_objects();
    Descriptor* descriptor = lookup(descriptor_id, "Deallocate descriptor");
    if (descriptor == nullptr) {
        return osl_status();
    }
    objects.last_descriptor = nullptr;
    for (size_t i = 0; i < objects.descriptors.size(); ++i) {
        if (objects.descriptors[i].get() == descriptor) {
            objects.descriptors.erase(objects.descriptors.begin() + static_cast<long>(i));
            break;
        }
    }
    return status_set(OSL_OK);
}

// A statement with more columns than the descriptor was allocated for still
// describes in full: the descriptor grows (once, here, never per row).
int osl_describe(const char* statement_id, const char* descriptor_id) {
    status_begin();
    if (!require_connection("Describe")) {
        return osl_status();
    }
    Statement* statement = find_statement(statement_id);
    if (statement == nullptr) {
        return status_error(OslError::kUnknownStatement,
                            "Statement '%s' cannot be described: it is not prepared.",
                            statement_id);
    }
    Descriptor* descriptor = lookup(descriptor_id, "Describe");
    if (descriptor == nullptr || !describe_statement(*statement)) {
        return osl_status();
    }
    descriptor->items.clear();
    for (const ColumnDescription& column : statement->columns) {
        descriptor->items.push_back(DescriptorItem{column, 0});
    }
    descriptor->count = static_cast<int>(descriptor->items.size());
    if (descriptor->count > descriptor->max_items) {
        descriptor->max_items = descriptor->count;
    }
    descriptor->row_source = nullptr;
    descriptor->source_statement_id = statement_id;
    return status_set(OSL_OK);
}

int osl_get_descriptor_count(const char* descriptor_id, int* count) {
    status_begin();
    Descriptor* descriptor = lookup(descriptor_id, "Get descriptor");
    if (descriptor == nullptr) {
        return osl_status();
    }
    *count = descriptor->count;
    return status_set(OSL_OK);
}

namespace {

// The requests of one item of descriptor; returns its status (0 for
// success), with a condition left on failure.
int get_items(Descriptor* descriptor, int item_number, OslItemRequest* requests,
              int request_count) {
    if (item_number < 1 || item_number > descriptor->count) {
        return status_error(OslError::kBadItemNumber,
                            "Descriptor '%s' has %d items; there is no item %d.",
                            descriptor->id.c_str(), descriptor->count, item_number);
    }
    DescriptorItem& item = descriptor->items[static_cast<size_t>(item_number - 1)];
    const ColumnDescription& column = item.column;

    // The request of every row: INDICATOR into a 16-bit integer, then DATA.
    if (request_count == 2 && requests[0].item == OSL_ITEM_INDICATOR &&
        requests[0].into.host_type == OSL_HOST_INT16 && requests[1].item == OSL_ITEM_DATA &&
        descriptor->row_source != nullptr) {
        const Cell& cell = descriptor->row_source->row[item_number - 1];
        *static_cast<int16_t*>(requests[0].into.address) = cell.kind == CellKind::kNull ? -1 : 0;
        ValueSource source{&cell, &column, descriptor->source_statement_id.c_str(),
                           item.var_by_library != 0};
        bool is_null = false;
        return read_value(source, requests[1].into, &is_null);
    }

    for (int r = 0; r < request_count; ++r) {
        const OslHostValue& host = requests[r].into;
        int code = requests[r].item;
        int status = 0;
        switch (code) {
            case OSL_ITEM_COUNT:
                status = put_integer(*descriptor, item_number, code, descriptor->count, host);
                break;
            case OSL_ITEM_TYPE:
                status = put_integer(*descriptor, item_number, code, column.type, host);
                break;
            case OSL_ITEM_LENGTH:
                status = put_integer(*descriptor, item_number, code, column.length, host);
                break;
            case OSL_ITEM_PRECISION:
                status = put_integer(*descriptor, item_number, code, column.precision, host);
                break;
            case OSL_ITEM_NULLABLE:
                status = put_integer(*descriptor, item_number, code, column.nullable, host);
                break;
            case OSL_ITEM_SCALE:
                status = put_integer(*descriptor, item_number, code, column.scale, host);
                break;
            case OSL_ITEM_VAR_BY_LIBRARY:
                status = put_integer(*descriptor, item_number, code, item.var_by_library, host);
                break;
            case OSL_ITEM_NAME:
                status = put_name(*descriptor, item_number, column.name, host);
                break;
            case OSL_ITEM_INDICATOR:
                if (!has_row(*descriptor, item_number)) {
                    return osl_status();
                }
                status = put_integer(
                    *descriptor, item_number, code,
                    descriptor->row_source->row[item_number - 1].kind == CellKind::kNull ? -1 : 0,
                    host);
                break;
            case OSL_ITEM_DATA: {
                if (!has_row(*descriptor, item_number)) {
                    return osl_status();
                }
                ValueSource source{&descriptor->row_source->row[item_number - 1], &column,
                                   descriptor->source_statement_id.c_str(),
                                   item.var_by_library != 0};
                bool is_null = false;
                status = read_value(source, host, &is_null);
                break;
            }
            default:
                status = status_error(OslError::kBadItemCode,
                                      "Descriptor '%s', item %d: there is no item code %d.",
                                      descriptor->id.c_str(), item_number, code);
                break;
        }
        if (status < 0) {
            return status;
        }
    }
    return 0;
}

}  // namespace

int osl_get_descriptor_items(const char* descriptor_id, int item_number, OslItemRequest* requests,
                             int request_count) {
    status_begin();
    Descriptor* descriptor = lookup(descriptor_id, "Get descriptor");
    if (descriptor == nullptr) {
        return osl_status();
    }
    int status = get_items(descriptor, item_number, requests, request_count);
    return status < 0 ? status : status_set(OSL_OK);
}

int osl_get_descriptor_range(const char* descriptor_id, int first_item, int item_count,
                             OslItemRequest* requests, int requests_per_item) {
    status_begin();
    Descriptor* descriptor = lookup(descriptor_id, "Get descriptor");
    if (descriptor == nullptr) {
        return osl_status();
    }
    for (int i = 0; i < item_count; ++i) {
        int status = get_items(descriptor, first_item + i, requests + i * requests_per_item,
                               requests_per_item);
        if (status < 0) {
            return status;
        }
    }
    return status_set(OSL_OK);
}

int osl_set_descriptor_items(const char* descriptor_id, int item_number,
                             const OslItemSetting* settings, int setting_count) {
    status_begin();
    Descriptor* descriptor = lookup(descriptor_id, "Set descriptor");
    if (descriptor == nullptr) {
        return osl_status();
    }
    if (item_number < 1 || item_number > descriptor->count) {
        return status_error(OslError::kBadItemNumber,
                            "Descriptor '%s' has %d items; there is no item %d.",
                            descriptor->id.c_str(), descriptor->count, item_number);
    }
    DescriptorItem& item = descriptor->items[static_cast<size_t>(item_number - 1)];
    for (int s = 0; s < setting_count; ++s) {
        int value = settings[s].value;
        switch (settings[s].item) {
            case OSL_ITEM_TYPE:
                item.column.type = value;
                break;
            case OSL_ITEM_LENGTH:
                item.column.length = value;
                break;
            case OSL_ITEM_PRECISION:
                item.column.precision = value;
                break;
            case OSL_ITEM_SCALE:
                item.column.scale = value;
                break;
            case OSL_ITEM_NULLABLE:
                item.column.nullable = value;
                break;
            case OSL_ITEM_VAR_BY_LIBRARY:
                item.var_by_library = value;
                break;
            default:
                return status_error(OslError::kBadItemCode,
                                    "Descriptor '%s', item %d: item code %d cannot be set.",
                                    descriptor->id.c_str(), item_number, settings[s].item);
        }
    }
    return status_set(OSL_OK);
}

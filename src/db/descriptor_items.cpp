// Reading the items of a described statement (see descriptor_items.h).

#include "db/descriptor_items.h"

#include <cstring>

#include "db/sql_error.h"
#include "report/inside_failures.h"
#include "report/messages.h"

static void get_items(const char* descriptor, int32_t item, OslItemRequest* requests, int count) {
    if (osl_get_descriptor_items(descriptor, item, requests, count) < 0) {
        check_sql();
    }
}

DescribedColumn describe_column(const char* descriptor, int32_t item) {
    DescribedColumn column;
    OslItemRequest requests[] = {
        {OSL_ITEM_TYPE, {OSL_HOST_INT32, &column.type, sizeof column.type}},
        {OSL_ITEM_LENGTH, {OSL_HOST_INT32, &column.length, sizeof column.length}},
        {OSL_ITEM_PRECISION, {OSL_HOST_INT32, &column.precision, sizeof column.precision}},
        {OSL_ITEM_SCALE, {OSL_HOST_INT32, &column.scale, sizeof column.scale}},
        {OSL_ITEM_NAME, {OSL_HOST_CSTRING, column.name, sizeof column.name}},
    };
    get_items(descriptor, item, requests, sizeof requests / sizeof requests[0]);
    return column;
}

void read_row_values(const char* descriptor, OslItemRequest* requests, int32_t item_count) {
    if (osl_get_descriptor_range(descriptor, 1, item_count, requests, kRequestsPerValue) < 0) {
        check_sql();
    }
}

ShapeBuffer read_row_shape(const char* descriptor, int32_t shape_item, OslVar& var) {
    // The indicator and the bytes in one request; a null leaves the var
    // empty, and gets the null shape below.
    if (osl_var_ready(&var) < 0) {
        inside_failure(InsideFailure::kVarReady);
    }
    int16_t indicator = 0;
    OslItemRequest requests[] = {
        {OSL_ITEM_INDICATOR, {OSL_HOST_INT16, &indicator, sizeof indicator}},
        {OSL_ITEM_DATA, {OSL_HOST_VAR_LOCATED, &var, sizeof var}}};
    get_items(descriptor, shape_item, requests, 2);
    if (indicator == kNullIndicator) {
        if (osl_var_alloc(&var, kNullShapeBytes) < 0) {
            inside_failure(InsideFailure::kVarAlloc);
        }
        if (osl_var_setlen(&var, kNullShapeBytes) < 0) {
            inside_failure(InsideFailure::kVarSetlen);
        }
        void* data = osl_var_getdata(&var);
        if (data == nullptr) {
            inside_failure(InsideFailure::kVarGetdata);
        }
        std::memset(data, 0, kNullShapeBytes);
        return ShapeBuffer{static_cast<const uint8_t*>(data), kNullShapeBytes};
    }
    int32_t length = osl_var_getlen(&var);
    if (length == 0) {
        inside_failure(InsideFailure::kVarGetlen);
    }
    void* data = osl_var_getdata(&var);
    if (data == nullptr) {
        inside_failure(InsideFailure::kVarGetdata);
    }
    return ShapeBuffer{static_cast<const uint8_t*>(data), length};
}

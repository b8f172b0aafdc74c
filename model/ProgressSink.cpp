#include "ProgressSink.h"

ProgressSink::~ProgressSink() = default;

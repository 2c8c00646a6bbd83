#pragma once

// How a command prints its answer: lines of text, or one JSON document (--json).
enum class OutputFormat { Text, Json };

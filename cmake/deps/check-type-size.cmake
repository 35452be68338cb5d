# Included into mpg123's project, which uses check_type_size without including it.
include(CheckTypeSize)

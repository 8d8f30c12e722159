# Run by cpack before it writes the archive. cpack stamps every entry with
# SOURCE_DATE_EPOCH when it is set, so the archive depends on the contents
# only; without one from the caller the time is 1980-01-02, a date a zip can
# hold in every time zone. Zip times are local, hence UTC.
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(ENV{SOURCE_DATE_EPOCH} 315619200)
endif()
set(ENV{TZ} UTC)

# The time axis of the chart: reading bar names that are timestamps (ISO
# dates and times, or seconds or milliseconds since 1970) and choosing a few
# readable labels for the bars shown. No Tk: the chart draws what these answer.
# Sourced by chart.tcl; it defines the namespace ::time_axis only.
#
# Times are kept as seconds. ISO texts are taken as written, epoch numbers in
# UTC; both are shown as those clocks read (no time zone is applied).

namespace eval ::time_axis {
    # The steps between labels, finest first: {count unit}.
    variable steps {
        {1 minute} {5 minute} {15 minute} {30 minute}
        {1 hour} {2 hour} {3 hour} {6 hour} {12 hour}
        {1 day} {2 day} {1 week} {1 month} {3 month} {6 month}
        {1 year} {2 year} {5 year} {10 year} {25 year} {50 year} {100 year}
    }
}

# The kind of timestamp the bar names are: "iso" (YYYY-MM-DD, with an
# optional time), "epoch" (seconds since 1970, 9 or 10 digits), "epoch_ms"
# (milliseconds, 12 or 13 digits), or "" for any other text. The first and
# the last name decide.
proc ::time_axis::kind {names} {
    set kinds [lmap name [list [lindex $names 0] [lindex $names end]] {
        set name [string trim $name]
        if {[regexp {^\d{4}-\d\d-\d\d([T ]\d\d:\d\d(:\d\d)?)?} $name]} {
            string cat iso
        } elseif {[regexp {^\d{9,10}$} $name]} {
            string cat epoch
        } elseif {[regexp {^\d{12,13}$} $name]} {
            string cat epoch_ms
        } else {
            string cat other
        }
    }]
    if {[lindex $kinds 0] ne [lindex $kinds 1] || [lindex $kinds 0] eq "other"} {
        return ""
    }
    return [lindex $kinds 0]
}

# Days since 1970-01-01 of a date of the proleptic Gregorian calendar (Tcl's
# integer division rounds down, as the formula needs).
proc ::time_axis::days_from_civil {year month day} {
    if {$month <= 2} {
        incr year -1
    }
    set era [expr {$year / 400}]
    set year_of_era [expr {$year - $era * 400}]
    set day_of_year [expr {(153 * ($month > 2 ? $month - 3 : $month + 9) + 2) / 5 + $day - 1}]
    set day_of_era [expr {$year_of_era * 365 + $year_of_era / 4 - $year_of_era / 100
        + $day_of_year}]
    return [expr {$era * 146097 + $day_of_era - 719468}]
}

# The date {year month day} of a day number counted from 1970-01-01.
proc ::time_axis::civil_from_days {days} {
    set z [expr {$days + 719468}]
    set era [expr {$z / 146097}]
    set day_of_era [expr {$z - $era * 146097}]
    set year_of_era [expr {($day_of_era - $day_of_era / 1460 + $day_of_era / 36524
        - $day_of_era / 146096) / 365}]
    set day_of_year [expr {$day_of_era - (365 * $year_of_era + $year_of_era / 4
        - $year_of_era / 100)}]
    set mp [expr {(5 * $day_of_year + 2) / 153}]
    set day [expr {$day_of_year - (153 * $mp + 2) / 5 + 1}]
    set month [expr {$mp < 10 ? $mp + 3 : $mp - 9}]
    set year [expr {$year_of_era + $era * 400 + ($month <= 2)}]
    return [list $year $month $day]
}

# The seconds of a bar name of the given kind, or "" when it is not one.
proc ::time_axis::seconds {kind name} {
    set name [string trim $name]
    switch -- $kind {
        epoch {
            if {[regexp {^\d{9,10}$} $name]} {
                return [scan $name %ld]
            }
        }
        epoch_ms {
            if {[regexp {^\d{12,13}$} $name]} {
                return [expr {[scan $name %ld] / 1000}]
            }
        }
        iso {
            if {[regexp {^(\d{4})-(\d\d)-(\d\d)(?:[T ](\d\d):(\d\d)(?::(\d\d))?)?} $name \
                    -> year month day hour minute second]} {
                # scan reads "08" as eight, where expr would refuse it as octal.
                lassign [lmap part [list $year $month $day $hour $minute $second] {
                    expr {$part eq "" ? 0 : [scan $part %d]}
                }] year month day hour minute second
                return [expr {[days_from_civil $year $month $day] * 86400
                    + $hour * 3600 + $minute * 60 + $second}]
            }
        }
    }
    return ""
}

# The period of a step that a time falls in: equal keys, same period.
proc ::time_axis::key {seconds count unit} {
    set days [expr {$seconds / 86400}]
    switch -- $unit {
        minute {return [expr {$seconds / (60 * $count)}]}
        hour {return [expr {$seconds / (3600 * $count)}]}
        day {return [expr {$days / $count}]}
        week {return [expr {($days + 3) / 7}]}
        default {
            lassign [civil_from_days $days] year month
            if {$unit eq "month"} {
                return [expr {($year * 12 + $month - 1) / $count}]
            }
            return [expr {$year / $count}]
        }
    }
}

# The labels of the bars whose times are given (seconds, or "" for a bar
# without one), for an axis with room for about `room` labels. The step is
# the finest whose periods begin at most `room` times among these bars; a
# label goes on each bar that begins a period (not on the first bar, whose
# period may have begun before). Answers {step {index text ...}}: the step
# as {count unit}, then for each label the bar's position in `times` and its
# text, one or two lines (the second line names the day or the year where it
# changes, and at the first label).
proc ::time_axis::labels {times room} {
    variable steps
    set chosen [lindex $steps end]
    foreach step $steps {
        lassign $step count unit
        set starts 0
        set previous ""
        foreach t $times {
            if {$t eq ""} continue
            set k [key $t $count $unit]
            if {$previous ne "" && $k != $previous} {
                if {[incr starts] > $room} break
            }
            set previous $k
        }
        if {$starts <= $room} {
            set chosen $step
            break
        }
    }
    lassign $chosen count unit
    set result {}
    set previous ""
    set last_label ""
    set index -1
    foreach t $times {
        incr index
        if {$t eq ""} continue
        set k [key $t $count $unit]
        if {$previous eq "" || $k == $previous} {
            set previous $k
            continue
        }
        set previous $k
        lappend result $index [label_text $t $unit $last_label]
        set last_label $t
    }
    return [list $chosen $result]
}

# The text of a label at time t for a step unit; `before` is the time of the
# label before it ("" for the first label).
proc ::time_axis::label_text {t unit before} {
    set day [string map {"  " " "} [clock format $t -format {%b %e} -gmt 1]]
    set year [clock format $t -format %Y -gmt 1]
    set new_day [expr {$before eq "" || $t / 86400 != $before / 86400}]
    set new_year [expr {$before eq "" || $year ne [clock format $before -format %Y -gmt 1]}]
    switch -- $unit {
        minute - hour {
            set text [clock format $t -format %H:%M -gmt 1]
            if {$new_day} {
                append text \n $day
            }
        }
        day - week {
            set text $day
            if {$new_year} {
                append text \n $year
            }
        }
        month {
            set text [clock format $t -format %b -gmt 1]
            if {$new_year} {
                append text \n $year
            }
        }
        default {
            set text $year
        }
    }
    return $text
}

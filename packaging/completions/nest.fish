# fish completion for idlnest and cnest: their options, the values of --glyphs, and source files
# for the operands (.pro for idlnest, .c and .h for cnest). Installed under each program's name,
# which it takes from its own file name.
set -l program (string replace -r '\.fish$' '' -- (basename (status current-filename)))

function __nest_sources --description 'Folders, and the files that end in one of the suffixes given'
    set -l pattern '\.('(string join '|' -- $argv)')$'
    for path in (commandline -ct)*
        if test -d $path
            echo $path/
        else if string match -qir -- $pattern $path
            echo $path
        end
    end
end

complete -c $program -s n -l numbers -x -d 'Column of the line numbers (0: none)'
complete -c $program -s g -l glyphs -x -a 'plain ibm utf8' -d 'Glyphs of the margin'
complete -c $program -s w -l max-length -x -d 'Longest line without a warning'
complete -c $program -s o -l output -r -F -d 'Listing file, or folder of listings'
complete -c $program -s c -l check -d 'Only the messages, no listing'
complete -c $program -s j -l jobs -x -d 'Number of files listed side by side'
complete -c $program -s h -l help -d 'Show the usage and exit'
complete -c $program -l version -d 'Show the version and exit'
if test $program = idlnest
    complete -c $program -l warn-end -d 'Warn when a plain end closes an inner block'
    complete -c $program -l warn-quotes -d 'Report quotes left open at the end of a line'
    complete -c $program -f -a '(__nest_sources pro)'
else
    complete -c $program -f -a '(__nest_sources c h)'
end

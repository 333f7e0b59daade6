#compdef idlnest cnest
# zsh completion for idlnest and cnest: their options, the values of --glyphs, and source files
# for the operands (.pro for idlnest, .c and .h for cnest). Installed under each program's name.

local -a options
options=(
  '(-n --numbers)'{-n+,--numbers=}'[column of the line numbers (0: none)]:column'
  '(-g --glyphs)'{-g+,--glyphs=}'[glyphs of the margin]:glyphs:(plain ibm utf8)'
  '(-w --max-length)'{-w+,--max-length=}'[longest line without a warning]:length'
  '(-o --output)'{-o+,--output=}'[listing file, or folder of listings]:file or folder:_files'
  '(-c --check)'{-c,--check}'[only the messages, no listing]'
  '(-j --jobs)'{-j+,--jobs=}'[number of files listed side by side]:jobs'
  '(- *)'{-h,--help}'[show the usage and exit]'
  '(- *)--version[show the version and exit]'
)
if [[ $service == idlnest ]]; then
  options+=(
    '--warn-end[warn when a plain end closes an inner block]'
    '--warn-quotes[report quotes left open at the end of a line]'
    '*:IDL source:_files -g "*.pro(-.)"'
  )
else
  options+=('*:C source:_files -g "*.[ch](-.)"')
fi
_arguments -s -S $options
